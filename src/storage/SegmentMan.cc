#include "storage/SegmentMan.h"

#include <algorithm>

#include "foundation/Logger.h"
#include "foundation/Timer.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"
#include "storage/DownloadContext.h"
#include "storage/GrowSegment.h"
#include "storage/PeerStat.h"
#include "storage/Piece.h"
#include "storage/PieceStorage.h"
#include "storage/PiecedSegment.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

SegmentMan::SegmentMan(std::shared_ptr<DownloadContext> downloadContext,
                       std::shared_ptr<PieceStorage> pieceStorage)
    : downloadContext_(std::move(downloadContext)),
      pieceStorage_(std::move(pieceStorage)),
      ignoreBitfield_(downloadContext_->getPieceLength(), downloadContext_->getTotalLength()) {
  ignoreBitfield_.enableFilter();
}

SegmentMan::~SegmentMan() = default;

void SegmentMan::flushPieceCache(const std::shared_ptr<Piece>& piece) {
  WrDiskCacheEntry* entry = piece->getWrDiskCacheEntry();
  if (!entry) {
    return;
  }
  QLOG_DEBUG(fmt("Flushing cached data, size=%lu", static_cast<unsigned long>(entry->getSize())));
  WrDiskCache* cache = pieceStorage_->getWrDiskCache();
  piece->flushWrCache(cache);
  piece->throwIfWrCacheFailed(cache);
}

std::shared_ptr<Segment> SegmentMan::checkoutSegment(int64_t cuid,
                                                     const std::shared_ptr<Piece>& piece) {
  if (!piece) {
    return nullptr;
  }
  QLOG_DEBUG(fmt("Attach segment#%lu to CUID#%lld.", static_cast<unsigned long>(piece->getIndex()),
                 static_cast<long long>(cuid)));
  flushPieceCache(piece);
  piece->setUsedBySegment(true);
  std::shared_ptr<Segment> segment;
  if (piece->getLength() == 0) {
    segment = std::make_shared<GrowSegment>(piece);
  } else {
    segment = std::make_shared<PiecedSegment>(downloadContext_->getPieceLength(), piece);
  }
  segmentEntries_.push_back(std::make_shared<SegmentEntry>(cuid, segment));
  QLOG_DEBUG(fmt("index=%lu, length=%lld, segmentLength=%lld, writtenLength=%lld",
                 static_cast<unsigned long>(segment->getIndex()),
                 static_cast<long long>(segment->getLength()),
                 static_cast<long long>(segment->getSegmentLength()),
                 static_cast<long long>(segment->getWrittenLength())));
  if (piece->getLength() > 0) {
    auto it = segmentWrittenLengthMemo_.find(segment->getIndex());
    if (it != segmentWrittenLengthMemo_.end()) {
      int64_t memo = it->second;
      int64_t written = segment->getWrittenLength();
      QLOG_DEBUG(fmt("writtenLength(in memo)=%lld, writtenLength=%lld",
                     static_cast<long long>(memo), static_cast<long long>(written)));
      if (written < memo && memo - written < piece->getBlockLength()) {
        segment->updateWrittenLength(memo - written);
      }
    }
  }
  return segment;
}

std::shared_ptr<Segment> SegmentMan::getSegment(int64_t cuid, size_t minSplitSize) {
  auto piece = pieceStorage_->getMissingPiece(minSplitSize, ignoreBitfield_.getFilterBitfield(),
                                              ignoreBitfield_.getBitfieldLength(), cuid);
  return checkoutSegment(cuid, piece);
}

void SegmentMan::getSegment(std::vector<std::shared_ptr<Segment>>& segments, int64_t cuid,
                            size_t minSplitSize, const std::shared_ptr<FileEntry>& fileEntry,
                            size_t maxSegments) {
  BitfieldMan filter(ignoreBitfield_);
  filter.enableFilter();
  filter.addNotFilter(fileEntry->getOffset(), fileEntry->getLength());
  std::vector<std::shared_ptr<Segment>> pending;
  while (segments.size() < maxSegments) {
    auto segment = checkoutSegment(
        cuid, pieceStorage_->getMissingPiece(minSplitSize, filter.getFilterBitfield(),
                                             filter.getBitfieldLength(), cuid));
    if (!segment) {
      break;
    }
    int64_t pos = segment->getPositionToWrite();
    if (fileEntry->getOffset() <= pos && pos < fileEntry->getLastOffset()) {
      segments.push_back(segment);
    } else {
      pending.push_back(segment);
    }
  }
  for (const auto& segment : pending) {
    cancelSegment(cuid, segment);
  }
}

std::shared_ptr<Segment> SegmentMan::getSegmentWithIndex(int64_t cuid, size_t index) {
  if (index > 0 && index >= downloadContext_->getNumPieces()) {
    return nullptr;
  }
  return checkoutSegment(cuid, pieceStorage_->getMissingPiece(index, cuid));
}

std::shared_ptr<Segment> SegmentMan::getCleanSegmentIfOwnerIsIdle(int64_t cuid, size_t index) {
  if (index > 0 && index >= downloadContext_->getNumPieces()) {
    return nullptr;
  }
  auto it = std::find_if(
      segmentEntries_.begin(), segmentEntries_.end(),
      [index](const std::shared_ptr<SegmentEntry>& e) { return e->segment->getIndex() == index; });
  if (it == segmentEntries_.end()) {
    return nullptr;
  }
  auto entry = *it;
  if (entry->segment->getWrittenLength() > 0) {
    return nullptr;
  }
  if (entry->cuid == cuid) {
    return entry->segment;
  }
  int64_t owner = entry->cuid;
  auto ps = getPeerStat(owner);
  if (ps && ps->getStatus() == PeerStat::ACTIVE) {
    return nullptr;
  }
  cancelSegment(owner);
  return getSegmentWithIndex(cuid, index);
}

void SegmentMan::getInFlightSegment(std::vector<std::shared_ptr<Segment>>& segments, int64_t cuid) {
  for (const auto& e : segmentEntries_) {
    if (e->cuid == cuid) {
      segments.push_back(e->segment);
    }
  }
}

void SegmentMan::cancelSegmentInternal(int64_t cuid, const std::shared_ptr<Segment>& segment) {
  QLOG_DEBUG(fmt("Canceling segment#%lu", static_cast<unsigned long>(segment->getIndex())));
  const auto& piece = segment->getPiece();
  flushPieceCache(piece);
  piece->setUsedBySegment(false);
  pieceStorage_->cancelPiece(piece, cuid);
  segmentWrittenLengthMemo_[segment->getIndex()] = segment->getWrittenLength();
  QLOG_DEBUG(fmt("Memorized segment index=%lu, writtenLength=%lld",
                 static_cast<unsigned long>(segment->getIndex()),
                 static_cast<long long>(segment->getWrittenLength())));
}

void SegmentMan::cancelSegment(int64_t cuid, const std::shared_ptr<Segment>& segment) {
  auto it = std::find_if(segmentEntries_.begin(), segmentEntries_.end(),
                         [&](const std::shared_ptr<SegmentEntry>& e) {
                           return e->cuid == cuid && e->segment->getIndex() == segment->getIndex();
                         });
  if (it == segmentEntries_.end()) {
    return;
  }
  auto entry = *it;
  cancelSegmentInternal(cuid, entry->segment);
  segmentEntries_.erase(std::find(segmentEntries_.begin(), segmentEntries_.end(), entry));
}

void SegmentMan::cancelSegment(int64_t cuid) {
  for (auto it = segmentEntries_.begin(); it != segmentEntries_.end();) {
    if ((*it)->cuid == cuid) {
      auto entry = *it;
      cancelSegmentInternal(cuid, entry->segment);
      it = segmentEntries_.erase(std::find(segmentEntries_.begin(), segmentEntries_.end(), entry));
    } else {
      ++it;
    }
  }
}

void SegmentMan::cancelAllSegments() {
  for (const auto& e : segmentEntries_) {
    cancelSegmentInternal(e->cuid, e->segment);
  }
  segmentEntries_.clear();
}

bool SegmentMan::completeSegment(int64_t cuid, const std::shared_ptr<Segment>& segment) {
  pieceStorage_->completePiece(segment->getPiece());
  pieceStorage_->advertisePiece(cuid, segment->getPiece()->getIndex(), global::wallclock());
  auto it = std::find_if(segmentEntries_.begin(), segmentEntries_.end(),
                         [&](const std::shared_ptr<SegmentEntry>& e) {
                           return e->segment->getIndex() == segment->getIndex();
                         });
  if (it == segmentEntries_.end()) {
    return false;
  }
  segmentEntries_.erase(it);
  return true;
}

void SegmentMan::registerPeerStat(const std::shared_ptr<PeerStat>& peerStat) {
  peerStats_.push_back(peerStat);
}

std::shared_ptr<PeerStat> SegmentMan::getPeerStat(int64_t cuid) const {
  for (const auto& ps : peerStats_) {
    if (ps->getCuid() == cuid) {
      return ps;
    }
  }
  return nullptr;
}

void SegmentMan::updateFastestPeerStat(const std::shared_ptr<PeerStat>& peerStat) {
  auto it = std::find_if(fastestPeerStats_.begin(), fastestPeerStats_.end(),
                         [&](const std::shared_ptr<PeerStat>& ps) {
                           return ps->getHostname() == peerStat->getHostname() &&
                                  ps->getProtocol() == peerStat->getProtocol();
                         });
  if (it == fastestPeerStats_.end()) {
    fastestPeerStats_.push_back(peerStat);
  } else if ((*it)->getAvgDownloadSpeed() < peerStat->getAvgDownloadSpeed()) {
    peerStat->addSessionDownloadLength((*it)->getSessionDownloadLength());
    *it = peerStat;
  } else {
    (*it)->addSessionDownloadLength(peerStat->getSessionDownloadLength());
  }
}

void SegmentMan::ignoreSegmentFor(const std::shared_ptr<FileEntry>& fileEntry) {
  QLOG_DEBUG(fmt("ignoring segment for path=%s, offset=%lld, length=%lld",
                 fileEntry->getPath().c_str(), static_cast<long long>(fileEntry->getOffset()),
                 static_cast<long long>(fileEntry->getLength())));
  ignoreBitfield_.addFilter(fileEntry->getOffset(), fileEntry->getLength());
}

void SegmentMan::recognizeSegmentFor(const std::shared_ptr<FileEntry>& fileEntry) {
  ignoreBitfield_.removeFilter(fileEntry->getOffset(), fileEntry->getLength());
}

bool SegmentMan::allSegmentsIgnored() const {
  return ignoreBitfield_.isAllFilterBitSet();
}

bool SegmentMan::downloadFinished() const {
  return pieceStorage_ ? pieceStorage_->downloadFinished() : false;
}

int64_t SegmentMan::getTotalLength() const {
  return pieceStorage_ ? pieceStorage_->getTotalLength() : 0;
}

int64_t SegmentMan::getDownloadLength() const {
  return pieceStorage_ ? pieceStorage_->getCompletedLength() : 0;
}

bool SegmentMan::hasSegment(size_t index) const {
  return pieceStorage_->hasPiece(index);
}

size_t SegmentMan::countFreePieceFrom(size_t index) const {
  size_t numPieces = downloadContext_->getNumPieces();
  size_t i = index;
  for (; i < numPieces; ++i) {
    if (pieceStorage_->hasPiece(i) || pieceStorage_->isPieceUsed(i)) {
      break;
    }
  }
  return i - index;
}

void SegmentMan::setPieceStorage(std::shared_ptr<PieceStorage> pieceStorage) {
  pieceStorage_ = std::move(pieceStorage);
}

void SegmentMan::setDownloadContext(std::shared_ptr<DownloadContext> downloadContext) {
  downloadContext_ = std::move(downloadContext);
}

}  // namespace quarn
