#include "storage/DefaultPieceStorage.h"

#include <errno.h>

#include <algorithm>
#include <cassert>
#include <cstring>

#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/Logger.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"
#include "storage/BitfieldMan.h"
#include "storage/DefaultDiskWriterFactory.h"
#include "storage/DirectDiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/MultiDiskAdaptor.h"
#include "storage/PendingWrites.h"
#include "storage/Piece.h"
#include "storage/PieceSelector.h"
#include "storage/PieceStatMan.h"
#include "storage/StreamPieceSelector.h"
#include "storage/WrDiskCacheEntry.h"
#include "storage/bitfield.h"

namespace quarn {

bool DefaultPieceStorage::PieceLess::operator()(const std::shared_ptr<Piece>& a,
                                                const std::shared_ptr<Piece>& b) const {
  return a->getIndex() < b->getIndex();
}

bool DefaultPieceStorage::PieceLess::operator()(const std::shared_ptr<Piece>& a, size_t b) const {
  return a->getIndex() < b;
}

bool DefaultPieceStorage::PieceLess::operator()(size_t a, const std::shared_ptr<Piece>& b) const {
  return a < b->getIndex();
}

DefaultPieceStorage::DefaultPieceStorage(std::shared_ptr<DownloadContext> downloadContext,
                                         const Option* option)
    : downloadContext_(std::move(downloadContext)),
      bitfieldMan_(std::make_unique<BitfieldMan>(downloadContext_->getPieceLength(),
                                                 downloadContext_->getTotalLength())),
      diskWriterFactory_(std::make_shared<DefaultDiskWriterFactory>()),
      endGame_(false),
      endGamePieceNum_(20),
      option_(option),
      nextHaveIndex_(1),
      pieceStatMan_(std::make_shared<PieceStatMan>(downloadContext_->getNumPieces(), true)),
      pieceSelector_(std::make_unique<RarestPieceSelector>(pieceStatMan_)),
      wrDiskCache_(nullptr) {
  const std::string& kind = option_ ? option_->get(PREF_STREAM_PIECE_SELECTOR) : std::string();
  if (kind == "inorder") {
    streamPieceSelector_ = std::make_unique<InorderStreamPieceSelector>(bitfieldMan_.get());
  } else if (kind == "random") {
    streamPieceSelector_ = std::make_unique<RandomStreamPieceSelector>(bitfieldMan_.get());
  } else if (kind == "geom") {
    streamPieceSelector_ = std::make_unique<GeomStreamPieceSelector>(bitfieldMan_.get(), 1.5);
  } else {
    streamPieceSelector_ = std::make_unique<DefaultStreamPieceSelector>(bitfieldMan_.get());
  }
}

DefaultPieceStorage::~DefaultPieceStorage() {
  // The cache only points at the entries; take them out before they go.
  for (const auto& piece : usedPieces_) {
    piece->releaseWrCache(wrDiskCache_);
  }
}

std::shared_ptr<Piece> DefaultPieceStorage::findUsedPiece(size_t index) const {
  auto it = usedPieces_.find(index);
  return it == usedPieces_.end() ? nullptr : *it;
}

void DefaultPieceStorage::addUsedPiece(const std::shared_ptr<Piece>& piece) {
  usedPieces_.insert(piece);
  QLOG_DEBUG(fmt("usedPieces_.size()=%lu", static_cast<unsigned long>(usedPieces_.size())));
}

void DefaultPieceStorage::deleteUsedPiece(const std::shared_ptr<Piece>& piece) {
  if (!piece) {
    return;
  }
  auto it = usedPieces_.find(piece->getIndex());
  if (it != usedPieces_.end()) {
    usedPieces_.erase(it);
  }
  piece->releaseWrCache(wrDiskCache_);
}

bool DefaultPieceStorage::isInMemoryDownload() const {
  return downloadContext_->inMemoryDownload();
}

std::shared_ptr<Piece> DefaultPieceStorage::checkOutPiece(size_t index, int64_t cuid) {
  assert(!bitfieldMan_->isFilterEnabled() || bitfieldMan_->isFilterBitSet(index));
  bitfieldMan_->setUseBit(index);
  auto piece = findUsedPiece(index);
  if (!piece) {
    piece = std::make_shared<Piece>(index, getPieceLength(index));
    piece->setHashType(downloadContext_->getPieceHashType());
    addUsedPiece(piece);
  }
  piece->addUser(cuid);
  if (wrDiskCache_ && !piece->getWrDiskCacheEntry() && !isInMemoryDownload()) {
    piece->initWrCache(wrDiskCache_, diskAdaptor_);
    if (writeQueue_) {
      piece->getWrDiskCacheEntry()->setWriteQueue(writeQueue_, queuedWrites_);
    }
  }
  return piece;
}

void DefaultPieceStorage::getMissingPieceCore(std::vector<std::shared_ptr<Piece>>& pieces,
                                              size_t minMissingBlocks, const uint8_t* peerBitfield,
                                              size_t length, int64_t cuid) {
  size_t len = bitfieldMan_->getBitfieldLength();
  if (len == 0) {
    return;
  }
  std::vector<uint8_t> candidates(len, 0);
  size_t numPieces = bitfieldMan_->countBlock();
  if (!endGame_) {
    if (!bitfieldMan_->getAllMissingUnusedIndexes(candidates.data(), len, peerBitfield, length) ||
        minMissingBlocks == 0) {
      return;
    }
    size_t blocks = 0;
    while (blocks < minMissingBlocks) {
      size_t index;
      if (!pieceSelector_->select(index, candidates.data(), numPieces)) {
        break;
      }
      auto piece = checkOutPiece(index, cuid);
      pieces.push_back(piece);
      bitfield::flipBit(candidates.data(), len, index);
      blocks += piece->countMissingBlock();
    }
    return;
  }
  if (!bitfieldMan_->getAllMissingIndexes(candidates.data(), len, peerBitfield, length)) {
    return;
  }
  std::vector<size_t> indexes;
  for (size_t i = 0; i < numPieces; ++i) {
    if (bitfield::test(candidates.data(), numPieces, i)) {
      indexes.push_back(i);
    }
  }
  std::shuffle(indexes.begin(), indexes.end(), *SimpleRandomizer::getInstance());
  size_t blocks = 0;
  for (auto it = indexes.begin(); it != indexes.end() && blocks < minMissingBlocks; ++it) {
    auto piece = checkOutPiece(*it, cuid);
    if (piece->getUsedBySegment()) {
      piece->removeUser(cuid);
      continue;
    }
    pieces.push_back(piece);
    blocks += piece->countMissingBlock();
  }
}

bool DefaultPieceStorage::hasMissingPiece(const uint8_t* peerBitfield, size_t length) {
  return bitfieldMan_->hasMissingPiece(peerBitfield, length);
}

void DefaultPieceStorage::getMissingPiece(std::vector<std::shared_ptr<Piece>>& pieces,
                                          size_t minMissingBlocks, const uint8_t* peerBitfield,
                                          size_t length, int64_t cuid) {
  getMissingPieceCore(pieces, minMissingBlocks, peerBitfield, length, cuid);
}

void DefaultPieceStorage::getMissingPiece(std::vector<std::shared_ptr<Piece>>& pieces,
                                          size_t minMissingBlocks, const uint8_t* peerBitfield,
                                          size_t length, const std::vector<size_t>& excludedIndexes,
                                          int64_t cuid) {
  BitfieldMan temp(bitfieldMan_->getBlockLength(), bitfieldMan_->getTotalLength());
  temp.setBitfield(peerBitfield, length);
  for (size_t index : excludedIndexes) {
    temp.unsetBit(index);
  }
  getMissingPieceCore(pieces, minMissingBlocks, temp.getBitfield(), temp.getBitfieldLength(), cuid);
}

void DefaultPieceStorage::getMissingFastPiece(std::vector<std::shared_ptr<Piece>>& pieces,
                                              size_t minMissingBlocks, const uint8_t* peerBitfield,
                                              size_t length,
                                              const std::vector<size_t>& allowedFastIndexes,
                                              const std::vector<size_t>& excludedIndexes,
                                              int64_t cuid) {
  if (allowedFastIndexes.empty() || length != bitfieldMan_->getBitfieldLength()) {
    return;
  }
  size_t numPieces = bitfieldMan_->countBlock();
  BitfieldMan temp(bitfieldMan_->getBlockLength(), bitfieldMan_->getTotalLength());
  for (size_t index : allowedFastIndexes) {
    if (index < numPieces && !bitfieldMan_->isBitSet(index) &&
        bitfield::test(peerBitfield, numPieces, index)) {
      temp.setBit(index);
    }
  }
  for (size_t index : excludedIndexes) {
    temp.unsetBit(index);
  }
  getMissingPieceCore(pieces, minMissingBlocks, temp.getBitfield(), temp.getBitfieldLength(), cuid);
}

bool DefaultPieceStorage::hasMissingUnusedPiece() {
  size_t index;
  return bitfieldMan_->getFirstMissingUnusedIndex(index);
}

std::shared_ptr<Piece> DefaultPieceStorage::getMissingPiece(size_t minSplitSize,
                                                            const uint8_t* ignoreBitfield,
                                                            size_t length, int64_t cuid) {
  size_t index;
  if (streamPieceSelector_->select(index, minSplitSize, ignoreBitfield, length)) {
    return checkOutPiece(index, cuid);
  }
  return nullptr;
}

std::shared_ptr<Piece> DefaultPieceStorage::getMissingPiece(size_t index, int64_t cuid) {
  if (index >= bitfieldMan_->countBlock() || hasPiece(index) || isPieceUsed(index) ||
      (bitfieldMan_->isFilterEnabled() && !bitfieldMan_->isFilterBitSet(index))) {
    return nullptr;
  }
  return checkOutPiece(index, cuid);
}

std::shared_ptr<Piece> DefaultPieceStorage::getPiece(size_t index) {
  if (index >= bitfieldMan_->countBlock()) {
    return nullptr;
  }
  if (auto piece = findUsedPiece(index)) {
    return piece;
  }
  auto piece = std::make_shared<Piece>(index, getPieceLength(index));
  if (hasPiece(index)) {
    piece->setAllBlock();
  }
  return piece;
}

void DefaultPieceStorage::markPieceMissing(size_t index) {
  bitfieldMan_->unsetBit(index);
}

void DefaultPieceStorage::completePiece(const std::shared_ptr<Piece>& piece) {
  if (!piece) {
    return;
  }
  // Releasing the cache entry discards what it holds: data still cached is
  // written first, and a piece whose data never reached the disk is not
  // completed.
  if (WrDiskCacheEntry* entry = piece->getWrDiskCacheEntry(); entry && wrDiskCache_) {
    if (entry->getSize() > 0) {
      piece->flushWrCache(wrDiskCache_);
    }
    piece->throwIfWrCacheFailed(wrDiskCache_);
  }
  deleteUsedPiece(piece);
  if (allDownloadFinished()) {
    return;
  }
  bitfieldMan_->setBit(piece->getIndex());
  bitfieldMan_->unsetUseBit(piece->getIndex());
  addPieceStats(piece->getIndex());
  if (downloadFinished()) {
    onDownloadFinished();
  }
}

void DefaultPieceStorage::onDownloadFinished() {
  downloadContext_->resetDownloadStopTime();
  if (isSelectiveDownloadingMode()) {
    QLOG_NOTICE(_("Download of selected files was complete."));
  } else {
    QLOG_INFO(_("The download was complete."));
  }
}

void DefaultPieceStorage::cancelPiece(const std::shared_ptr<Piece>& piece, int64_t cuid) {
  if (!piece) {
    return;
  }
  piece->removeUser(cuid);
  if (!piece->hasUser()) {
    bitfieldMan_->unsetUseBit(piece->getIndex());
  }
  if (!endGame_ && piece->getCompletedLength() == 0) {
    deleteUsedPiece(piece);
  }
}

bool DefaultPieceStorage::hasPiece(size_t index) {
  return bitfieldMan_->isBitSet(index);
}

bool DefaultPieceStorage::isPieceUsed(size_t index) {
  return bitfieldMan_->isUseBitSet(index);
}

int64_t DefaultPieceStorage::getTotalLength() {
  return bitfieldMan_->getTotalLength();
}

int64_t DefaultPieceStorage::getFilteredTotalLength() {
  return bitfieldMan_->getFilteredTotalLength();
}

int64_t DefaultPieceStorage::getCompletedLength() {
  int64_t length = bitfieldMan_->getCompletedLength();
  for (const auto& piece : usedPieces_) {
    length += piece->getCompletedLength();
  }
  return std::min(length, getTotalLength());
}

int64_t DefaultPieceStorage::getFilteredCompletedLength() {
  int64_t length = bitfieldMan_->getFilteredCompletedLength();
  if (bitfieldMan_->getFilterBitfield()) {
    for (const auto& piece : usedPieces_) {
      if (bitfieldMan_->isFilterBitSet(piece->getIndex())) {
        length += piece->getCompletedLength();
      }
    }
  }
  return length;
}

void DefaultPieceStorage::setupFileFilter() {
  const auto& entries = downloadContext_->getFileEntries();
  bool allRequested =
      std::all_of(entries.begin(), entries.end(),
                  [](const std::shared_ptr<FileEntry>& e) { return e->isRequested(); });
  if (allRequested) {
    return;
  }
  for (const auto& e : entries) {
    if (e->isRequested()) {
      bitfieldMan_->addFilter(e->getOffset(), e->getLength());
    }
  }
  bitfieldMan_->enableFilter();
}

void DefaultPieceStorage::clearFileFilter() {
  bitfieldMan_->clearFilter();
}

bool DefaultPieceStorage::downloadFinished() {
  return bitfieldMan_->isFilteredAllBitSet();
}

bool DefaultPieceStorage::allDownloadFinished() {
  return bitfieldMan_->isAllBitSet();
}

void DefaultPieceStorage::initStorage() {
  const auto& entries = downloadContext_->getFileEntries();
  if (entries.size() == 1) {
    QLOG_DEBUG("Instantiating DirectDiskAdaptor");
    auto adaptor = std::make_shared<DirectDiskAdaptor>();
    adaptor->setTotalLength(downloadContext_->getTotalLength());
    adaptor->setFileEntries(entries.begin(), entries.end());
    adaptor->setDiskWriter(diskWriterFactory_->newDiskWriter(adaptor->getFilePath()));
    diskAdaptor_ = adaptor;
  } else {
    QLOG_DEBUG("Instantiating MultiDiskAdaptor");
    auto adaptor = std::make_shared<MultiDiskAdaptor>();
    adaptor->setFileEntries(entries.begin(), entries.end());
    adaptor->setPieceLength(downloadContext_->getPieceLength());
    diskAdaptor_ = adaptor;
  }
  const std::string& allocation = option_ ? option_->get(PREF_FILE_ALLOCATION) : std::string();
  if (allocation == "falloc") {
    diskAdaptor_->setFileAllocationMethod(DiskAdaptor::FILE_ALLOC_FALLOC);
  } else if (allocation == "trunc") {
    diskAdaptor_->setFileAllocationMethod(DiskAdaptor::FILE_ALLOC_TRUNC);
  }
}

const uint8_t* DefaultPieceStorage::getBitfield() {
  return bitfieldMan_->getBitfield();
}

void DefaultPieceStorage::setBitfield(const uint8_t* bitfield, size_t bitfieldLength) {
  bitfieldMan_->setBitfield(bitfield, bitfieldLength);
  addPieceStats(bitfield, bitfieldLength);
}

size_t DefaultPieceStorage::getBitfieldLength() {
  return bitfieldMan_->getBitfieldLength();
}

bool DefaultPieceStorage::isSelectiveDownloadingMode() {
  return bitfieldMan_->isFilterEnabled();
}

void DefaultPieceStorage::setDiskWriteQueue(DiskWriteQueue* queue) {
  writeQueue_ = queue;
  if (queue && !queuedWrites_) {
    queuedWrites_ = std::make_shared<PendingWrites>();
  }
}

// Waits for the writes handed to the queue's threads. A piece that one of
// them failed to fill is missing again, however much of it was counted
// before, so that no control file claims it and the download does not
// finish on it.
void DefaultPieceStorage::settleQueuedWrites() {
  if (!queuedWrites_) {
    return;
  }
  queuedWrites_->wait();
  const auto failures = queuedWrites_->takeFailures();
  if (failures.empty()) {
    return;
  }
  const int64_t pieceLength = downloadContext_->getPieceLength();
  for (const auto& f : failures) {
    const size_t first = static_cast<size_t>(f.goff / pieceLength);
    const size_t last =
        static_cast<size_t>((f.goff + std::max<int64_t>(f.len, 1) - 1) / pieceLength);
    for (size_t index = first; index <= last && index < bitfieldMan_->countBlock(); ++index) {
      if (auto piece = findUsedPiece(index)) {
        piece->clearAllBlock(wrDiskCache_);
      }
      bitfieldMan_->unsetBit(index);
    }
  }
  const int errNum = failures.front().errNum;
  throw DOWNLOAD_FAILURE_EXCEPTION(
      errNum,
      fmt("Write disk cache flush failure index=%lu, cause: %s",
          static_cast<unsigned long>(failures.front().goff / pieceLength),
          util::safeStrerror(errNum).c_str()),
      errNum == ENOSPC ? error_code::NOT_ENOUGH_DISK_SPACE : error_code::FILE_IO_ERROR);
}

void DefaultPieceStorage::flushWrDiskCacheEntry(bool releaseEntries) {
  if (!wrDiskCache_) {
    return;
  }
  std::shared_ptr<Piece> failed;
  error_code::Value failure = error_code::UNKNOWN_ERROR;
  for (const auto& piece : usedPieces_) {
    WrDiskCacheEntry* entry = piece->getWrDiskCacheEntry();
    if (!entry) {
      continue;
    }
    piece->flushWrCache(wrDiskCache_);
    if (entry->getError()) {
      // This piece's data never reached the disk: none of it may be counted,
      // nor saved as present in a control file.
      piece->clearAllBlock(wrDiskCache_);
      if (!failed) {
        failed = piece;
        failure = entry->getErrorCode();
      }
    }
    if (releaseEntries) {
      piece->releaseWrCache(wrDiskCache_);
    }
  }
  settleQueuedWrites();
  if (failed) {
    throw DOWNLOAD_FAILURE_EXCEPTION(fmt("Write disk cache flush failure index=%lu",
                                         static_cast<unsigned long>(failed->getIndex())),
                                     failure);
  }
}

int32_t DefaultPieceStorage::getPieceLength(size_t index) {
  return bitfieldMan_->getBlockLength(index);
}

void DefaultPieceStorage::advertisePiece(int64_t cuid, size_t index, Timer registeredTime) {
  haves_.push_back(HaveEntry{nextHaveIndex_++, cuid, index, std::move(registeredTime)});
}

uint64_t DefaultPieceStorage::getAdvertisedPieceIndexes(std::vector<size_t>& indexes,
                                                        int64_t /*myCuid*/,
                                                        uint64_t lastHaveIndex) {
  auto it = std::upper_bound(
      haves_.begin(), haves_.end(), lastHaveIndex,
      [](uint64_t last, const HaveEntry& entry) { return last < entry.haveIndex; });
  if (it == haves_.end()) {
    return lastHaveIndex;
  }
  for (auto i = it; i != haves_.end(); ++i) {
    indexes.push_back(i->index);
  }
  return haves_.back().haveIndex;
}

void DefaultPieceStorage::removeAdvertisedPiece(const Timer& expiry) {
  auto it = std::upper_bound(
      haves_.begin(), haves_.end(), expiry,
      [](const Timer& t, const HaveEntry& entry) { return t < entry.registeredTime; });
  QLOG_DEBUG(fmt(_("Removed %lu have entries."),
                 static_cast<unsigned long>(std::distance(haves_.begin(), it))));
  haves_.erase(haves_.begin(), it);
}

void DefaultPieceStorage::markAllPiecesDone() {
  bitfieldMan_->setAllBit();
}

void DefaultPieceStorage::markPiecesDone(int64_t length) {
  if (length == bitfieldMan_->getTotalLength()) {
    bitfieldMan_->setAllBit();
    return;
  }
  if (length == 0) {
    bitfieldMan_->clearAllBit();
    for (const auto& piece : usedPieces_) {
      piece->releaseWrCache(wrDiskCache_);
    }
    usedPieces_.clear();
    return;
  }
  int32_t pieceLength = downloadContext_->getPieceLength();
  size_t numPiece = length / pieceLength;
  if (numPiece > 0) {
    bitfieldMan_->setBitRange(0, numPiece - 1);
  }
  int64_t r = length % pieceLength;
  if (r >= Piece::BLOCK_LENGTH) {
    auto piece = std::make_shared<Piece>(numPiece, getPieceLength(numPiece));
    for (size_t i = 0, n = r / Piece::BLOCK_LENGTH; i < n; ++i) {
      piece->completeBlock(i);
    }
    piece->setHashType(downloadContext_->getPieceHashType());
    addUsedPiece(piece);
  }
}

void DefaultPieceStorage::addInFlightPiece(const std::vector<std::shared_ptr<Piece>>& pieces) {
  usedPieces_.insert(pieces.begin(), pieces.end());
}

void DefaultPieceStorage::getInFlightPieces(std::vector<std::shared_ptr<Piece>>& pieces) {
  pieces.insert(pieces.end(), usedPieces_.begin(), usedPieces_.end());
}

void DefaultPieceStorage::addPieceStats(size_t index) {
  pieceStatMan_->addPieceStats(index);
}

void DefaultPieceStorage::addPieceStats(const uint8_t* bitfield, size_t bitfieldLength) {
  pieceStatMan_->addPieceStats(bitfield, bitfieldLength);
}

void DefaultPieceStorage::subtractPieceStats(const uint8_t* bitfield, size_t bitfieldLength) {
  pieceStatMan_->subtractPieceStats(bitfield, bitfieldLength);
}

void DefaultPieceStorage::updatePieceStats(const uint8_t* newBitfield, size_t newBitfieldLength,
                                           const uint8_t* oldBitfield) {
  pieceStatMan_->updatePieceStats(newBitfield, newBitfieldLength, oldBitfield);
}

size_t DefaultPieceStorage::getNextUsedIndex(size_t index) {
  size_t n = bitfieldMan_->countBlock();
  for (size_t i = index + 1; i < n; ++i) {
    if (bitfieldMan_->isUseBitSet(i) || bitfieldMan_->isBitSet(i)) {
      return i;
    }
  }
  return n;
}

void DefaultPieceStorage::onDownloadIncomplete() {
  streamPieceSelector_->onBitfieldInit();
}

void DefaultPieceStorage::setDiskWriterFactory(std::shared_ptr<DiskWriterFactory> factory) {
  diskWriterFactory_ = std::move(factory);
}

void DefaultPieceStorage::setPieceSelector(std::unique_ptr<PieceSelector> selector) {
  pieceSelector_ = std::move(selector);
}

std::unique_ptr<PieceSelector> DefaultPieceStorage::popPieceSelector() {
  return std::move(pieceSelector_);
}

}  // namespace quarn
