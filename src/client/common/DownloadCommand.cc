#include "client/common/DownloadCommand.h"

#include <cinttypes>

#include <algorithm>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/ChecksumCheckIntegrityEntry.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/LogMacros.h"
#include "foundation/MessageDigest.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"
#include "foundation/wallclock.h"
#include "net/SocketCore.h"
#include "net/SocketRecvBuffer.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PeerStat.h"
#include "storage/Piece.h"
#include "storage/PieceStorage.h"
#include "storage/Request.h"
#include "storage/Segment.h"
#include "storage/SegmentMan.h"
#include "storage/SequentialPicker.h"
#include "storage/SinkStreamFilter.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

DownloadCommand::DownloadCommand(cuid_t cuid, std::shared_ptr<Request> req,
                                 std::shared_ptr<FileEntry> fileEntry, RequestGroup* requestGroup,
                                 DownloadEngine* e, std::shared_ptr<SocketCore> s,
                                 std::shared_ptr<SocketRecvBuffer> socketRecvBuffer)
    : AbstractCommand(cuid, std::move(req), std::move(fileEntry), requestGroup, e, std::move(s),
                      std::move(socketRecvBuffer)),
      startupIdleTime_(10),
      lowestDownloadSpeedLimit_(0),
      pieceHashValidationEnabled_(false),
      sinkFilterOnly_(true) {
  const auto& hashType = getDownloadContext()->getPieceHashType();
  if (getOption()->getAsBool(PREF_REALTIME_CHUNK_CHECKSUM) && !hashType.empty() &&
      MessageDigest::supports(hashType)) {
    pieceHashValidationEnabled_ = true;
  }
  getRequest()->initPeerStat();
  peerStat_ = getRequest()->getPeerStat();
  peerStat_->downloadStart();
  getSegmentMan()->registerPeerStat(peerStat_);
  auto sink = std::make_unique<SinkStreamFilter>(getPieceStorage()->getWrDiskCache(),
                                                 pieceHashValidationEnabled_);
  directSink_ = sink.get();
  streamFilter_ = std::move(sink);
  streamFilter_->init();
  checkSocketRecvBuffer();
}

DownloadCommand::~DownloadCommand() {
  peerStat_->downloadStop();
  if (getSegmentMan()) {
    getSegmentMan()->updateFastestPeerStat(peerStat_);
  }
}

void DownloadCommand::installStreamFilter(std::unique_ptr<StreamFilter> filter) {
  if (!filter) {
    return;
  }
  filter->installDelegate(std::move(streamFilter_));
  directSink_ = nullptr;
  streamFilter_ = std::move(filter);
  sinkFilterOnly_ = util::endsWith(streamFilter_->getName(), SinkStreamFilter::NAME);
}

bool DownloadCommand::shouldEnableWriteCheck() {
  return getSocket()->wantWrite();
}

bool DownloadCommand::isSegmentPartComplete(const std::shared_ptr<Segment>& segment,
                                            bool eof) const {
  const auto& fileEntry = getFileEntry();
  int64_t fileEnd = fileEntry->getLastOffset();
  if (sinkFilterOnly_) {
    if (segment->complete() ||
        (fileEntry->getLength() != 0 && segment->getPositionToWrite() == fileEnd)) {
      return true;
    }
    return segment->getLength() == 0 && eof;
  }
  int64_t loff = fileEntry->gtoloff(segment->getPositionToWrite());
  int64_t requestEnd = getRequestEndOffset();
  if (fileEntry->getLength() <= 0) {
    return streamFilter_->finished();
  }
  if ((loff == requestEnd && streamFilter_->finished()) || loff < requestEnd) {
    if (segment->complete() || segment->getPositionToWrite() == fileEnd) {
      return true;
    }
    return streamFilter_->finished();
  }
  return streamFilter_->finished();
}

int64_t DownloadCommand::roomInSegment(const std::shared_ptr<Segment>& segment) const {
  const auto& fileEntry = getFileEntry();
  if (segment->getPosition() + segment->getLength() > fileEntry->getLastOffset()) {
    return fileEntry->getLastOffset() - segment->getPositionToWrite();
  }
  return segment->getLength() - segment->getWrittenLength();
}

// Without a speed limit a read takes what a cache cell has room for: fewer,
// larger reads cost less per byte, and the socket's window is reopened in
// fewer, larger steps. A limit is checked once per turn, so there a read stays
// at the receive window's size to keep each turn's overshoot as it was.
size_t DownloadCommand::readCap() const {
  auto* rgman = getDownloadEngine()->getRequestGroupMan();
  if ((rgman && rgman->getMaxOverallDownloadSpeedLimit() > 0) ||
      getRequestGroup()->getMaxDownloadSpeedLimit() > 0) {
    return SocketRecvBuffer::BUFFER_SIZE;
  }
  return UNLIMITED_READ_CAP;
}

// With nothing buffered and only the sink in the chain, the socket reads
// straight into the write cache. False leaves the turn to the buffered path.
bool DownloadCommand::receiveIntoCache(const std::shared_ptr<Segment>& segment, bool& eof) {
  if (!directSink_ || !getSocketRecvBuffer()->bufferEmpty() || segment->getLength() == 0) {
    return false;
  }
  int64_t room = roomInSegment(segment);
  if (room <= 0) {
    return false;
  }
  auto window = directSink_->receiveWindow(
      segment, static_cast<size_t>(std::min<int64_t>(room, static_cast<int64_t>(readCap()))));
  if (window.empty()) {
    return false;
  }
  size_t len = window.size();
  getSocket()->readData(window.data(), len);
  if (len == 0) {
    eof = !getSocket()->wantRead() && !getSocket()->wantWrite();
    return true;
  }
  directSink_->commitReceived(segment, len);
  peerStat_->updateDownload(len);
  getDownloadContext()->updateDownload(len);
  return true;
}

bool DownloadCommand::executeInternal() {
  auto* rgman = getDownloadEngine()->getRequestGroupMan();
  if ((rgman && rgman->doesOverallDownloadSpeedExceed()) ||
      getRequestGroup()->doesDownloadSpeedExceed()) {
    addCommandSelf();
    disableReadCheckSocket();
    disableWriteCheckSocket();
    return false;
  }
  setReadCheckSocket(getSocket());
  auto diskAdaptor = getPieceStorage()->getDiskAdaptor();
  std::shared_ptr<Segment> segment = getSegments().front();
  const auto& buffer = getSocketRecvBuffer();
  bool eof = false;
  if (receiveIntoCache(segment, eof)) {
    // The bytes went straight to the write cache.
  } else if (buffer->bufferEmpty() && buffer->recv() == 0 && !getSocket()->wantRead() &&
             !getSocket()->wantWrite()) {
    eof = true;
  } else {
    size_t bufSize;
    if (!sinkFilterOnly_) {
      streamFilter_->transform(diskAdaptor, segment, buffer->getBuffer(),
                               buffer->getBufferLength());
      bufSize = streamFilter_->getBytesProcessed();
    } else {
      if (segment->getLength() == 0) {
        bufSize = buffer->getBufferLength();
      } else {
        bufSize =
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buffer->getBufferLength()),
                                                  std::max<int64_t>(roomInSegment(segment), 0)));
      }
      streamFilter_->transform(diskAdaptor, segment, buffer->getBuffer(), bufSize);
    }
    buffer->drain(bufSize);
    peerStat_->updateDownload(bufSize);
    getDownloadContext()->updateDownload(bufSize);
  }
  if (!isSegmentPartComplete(segment, eof)) {
    if (eof) {
      throw DL_RETRY_EX(_("Got EOF from the server."));
    }
    checkLowestDownloadSpeed();
    setWriteCheckSocketIf(getSocket(), shouldEnableWriteCheck());
    checkSocketRecvBuffer();
    addCommandSelf();
    return false;
  }
  if (!segment->complete() && segment->getLength() != 0) {
    getSegmentMan()->cancelSegment(getCuid(), segment);
  } else {
    QLOG_INFO(
        fmt("CUID#%" PRId64 " - The download for one segment completed successfully.", getCuid()));
    const std::string& expected = getDownloadContext()->getPieceHash(segment->getIndex());
    if (pieceHashValidationEnabled_ && !expected.empty()) {
      std::string actual;
      if ((getPieceStorage()->isEndGame() && getDownloadContext()->hasAttribute(CTX_ATTR_BT)) ||
          !segment->isHashCalculated()) {
        try {
          actual = segment->getPiece()->getDigestWithWrCache(
              static_cast<int32_t>(segment->getSegmentLength()), diskAdaptor);
        } catch (const RecoverableException&) {
          segment->clear(getPieceStorage()->getWrDiskCache());
          getSegmentMan()->cancelSegment(getCuid());
          throw;
        }
      } else {
        QLOG_DEBUG(
            fmt("Hash is available! index=%lu", static_cast<unsigned long>(segment->getIndex())));
        actual = segment->getDigest();
      }
      validatePieceHash(segment, expected, actual);
    } else {
      completeSegment(segment);
    }
  }
  checkLowestDownloadSpeed();
  return prepareForNextSegment();
}

void DownloadCommand::validatePieceHash(const std::shared_ptr<Segment>& segment,
                                        const std::string& expected, const std::string& actual) {
  if (expected == actual) {
    QLOG_INFO(fmt(_("Good chunk checksum. hash=%s"), util::toHex(actual).c_str()));
    completeSegment(segment);
    return;
  }
  QLOG_INFO(fmt("Chunk checksum validation failed. checksumIndex=%lu, offset=%" PRId64
                ", expectedHash=%s, actualHash=%s",
                static_cast<unsigned long>(segment->getIndex()), segment->getPosition(),
                util::toHex(expected).c_str(), util::toHex(actual).c_str()));
  segment->clear(getPieceStorage()->getWrDiskCache());
  getSegmentMan()->cancelSegment(getCuid());
  // A piece that never verifies ends the download as a checksum error.
  throw DL_RETRY_EX(
      fmt("Invalid checksum index=%lu", static_cast<unsigned long>(segment->getIndex())),
      error_code::CHECKSUM_ERROR);
}

void DownloadCommand::completeSegment(const std::shared_ptr<Segment>& segment) {
  const auto& piece = segment->getPiece();
  if (piece && piece->getWrDiskCacheEntry()) {
    piece->flushWrCache(getPieceStorage()->getWrDiskCache());
    WrDiskCacheEntry* entry = piece->getWrDiskCacheEntry();
    if (entry && entry->getError() != 0) {
      segment->clear(getPieceStorage()->getWrDiskCache());
      throw DOWNLOAD_FAILURE_EXCEPTION(fmt("Write disk cache flush failure index=%lu",
                                           static_cast<unsigned long>(piece->getIndex())),
                                       entry->getErrorCode());
    }
  }
  getSegmentMan()->completeSegment(getCuid(), segment);
}

void DownloadCommand::checkLowestDownloadSpeed() const {
  if (lowestDownloadSpeedLimit_ < 1) {
    return;
  }
  if (peerStat_->getDownloadStartTime().difference(global::wallclock()) <
      std::chrono::seconds(startupIdleTime_)) {
    return;
  }
  int32_t speed = peerStat_->calculateDownloadSpeed();
  if (speed <= lowestDownloadSpeedLimit_) {
    throw DL_ABORT_EX(fmt(_("Too slow Downloading speed: %d <= %d(B/s), host:%s"), speed,
                          lowestDownloadSpeedLimit_, getRequest()->getHost().c_str()),
                      error_code::TOO_SLOW_DOWNLOAD_SPEED);
  }
}

bool DownloadCommand::prepareForNextSegment() {
  if (getRequestGroup()->downloadFinished()) {
    getFileEntry()->poolRequest(getRequest());
    const auto& ctx = getDownloadContext();
    if (ctx->getFileEntries().size() == 1 && ctx->getFirstFileEntry()->getLength() == 0) {
      ctx->getFirstFileEntry()->setLength(getPieceStorage()->getCompletedLength());
    }
    if (ctx->getPieceHashType().empty()) {
      auto entry = std::make_unique<ChecksumCheckIntegrityEntry>(getRequestGroup());
      if (entry->isValidationReady()) {
        entry->initValidator();
        entry->cutTrailingGarbage();
        getDownloadEngine()->getCheckIntegrityMan()->pushEntry(std::move(entry));
      }
    }
    getDownloadEngine()->setNoWait(true);
    getDownloadEngine()->setRefreshInterval(std::chrono::milliseconds(0));
    return true;
  }
  if (getSegments().size() != 1) {
    return prepareForRetry(0);
  }
  const auto& segment = getSegments().front();
  if (segment->complete() &&
      getRequestEndOffset() !=
          getFileEntry()->gtoloff(segment->getPosition() + segment->getLength())) {
    auto next = getSegmentMan()->getSegmentWithIndex(getCuid(), segment->getIndex() + 1);
    if (!next) {
      next = getSegmentMan()->getCleanSegmentIfOwnerIsIdle(getCuid(), segment->getIndex() + 1);
    }
    if (!next || next->getWrittenLength() > 0) {
      return prepareForRetry(0);
    }
    checkSocketRecvBuffer();
    addCommandSelf();
    return false;
  }
  return prepareForRetry(0);
}

}  // namespace quarn
