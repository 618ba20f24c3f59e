#include "engine/RequestGroup.h"

#include <algorithm>

#include <algorithm>
#include "client/CreateRequestCommand.h"
#include "config/Option.h"
#include "config/prefs.h"

#include "engine/DownloadContext.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadResult.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/File.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DiskAdaptor.h"
#include "storage/NullProgressInfoFile.h"
#include "storage/PieceStorage.h"
#include "storage/SegmentMan.h"
#include "storage/UnknownLengthPieceStorage.h"

namespace quarn {

RequestGroup::RequestGroup(std::shared_ptr<GroupId> gid, std::shared_ptr<Option> option)
    : belongsTo_(0),
      gid_(std::move(gid)),
      option_(std::move(option)),
      progressInfoFile_(std::make_shared<NullProgressInfoFile>()),
      requestGroupMan_(nullptr),
      following_(0),
      lastModifiedTime_(Time::null()),
      timeout_(option_->getAsInt(PREF_TIMEOUT)),
      state_(STATE_WAITING),
      maxConcurrentCommands_(option_->getAsInt(PREF_SPLIT)),
      numStreamConnection_(0),
      numStreamCommand_(0),
      numCommand_(0),
      fileNotFoundCount_(0),
      maxDownloadSpeedLimit_(option_->getAsInt(PREF_MAX_DOWNLOAD_LIMIT)),
      maxUploadSpeedLimit_(option_->getAsInt(PREF_MAX_UPLOAD_LIMIT)),
      resumeFailureCount_(0),
      haltReason_(NONE),
      lastErrorCode_(error_code::UNDEFINED),
      saveControlFile_(true),
      fileAllocationEnabled_(option_->get(PREF_FILE_ALLOCATION) != V_NONE),
      localFileCheckEnabled_(true),
      haltRequested_(false),
      forceHaltRequested_(false),
      pauseRequested_(false),
      restartRequested_(false),
      inMemoryDownload_(false),
      seedOnly_(false) {}

RequestGroup::~RequestGroup() = default;

void RequestGroup::setDownloadContext(std::shared_ptr<DownloadContext> downloadContext) {
  downloadContext_ = std::move(downloadContext);
  if (downloadContext_) {
    downloadContext_->setOwnerRequestGroup(this);
  }
}

void RequestGroup::setPieceStorage(std::shared_ptr<PieceStorage> pieceStorage) {
  pieceStorage_ = std::move(pieceStorage);
}

void RequestGroup::setSegmentMan(std::shared_ptr<SegmentMan> segmentMan) {
  segmentMan_ = std::move(segmentMan);
}

void RequestGroup::setProgressInfoFile(std::shared_ptr<BtProgressInfoFile> progressInfoFile) {
  progressInfoFile_ = std::move(progressInfoFile);
}

void RequestGroup::dropPieceStorage() {
  segmentMan_.reset();
  pieceStorage_.reset();
}

void RequestGroup::setDiskWriterFactory(std::shared_ptr<DiskWriterFactory> factory) {
  diskWriterFactory_ = std::move(factory);
}

void RequestGroup::createInitialCommand(std::vector<std::unique_ptr<Command>>& commands,
                                        DownloadEngine* engine) {
  downloadContext_->resetDownloadStartTime();
  // Until the size is known one connection asks for it; the response that
  // fixes the size starts the others.
  if (!pieceStorage_ && !downloadContext_->getFileEntries().empty() &&
      !downloadContext_->getFirstFileEntry()->getRemainingUris().empty()) {
    createNextCommand(commands, engine, 1);
  }
}

void RequestGroup::createNextCommand(std::vector<std::unique_ptr<Command>>& commands,
                                     DownloadEngine* engine, int num) {
  for (int i = 0; i < num; ++i) {
    commands.push_back(std::make_unique<CreateRequestCommand>(engine->newCUID(), this, engine));
  }
}

void RequestGroup::createNextCommandWithAdj(std::vector<std::unique_ptr<Command>>& commands,
                                            DownloadEngine* engine, int numAdj) {
  int64_t pieces = static_cast<int64_t>(downloadContext_->getNumPieces());
  int num = static_cast<int>(std::min<int64_t>(pieces, maxConcurrentCommands_)) + numAdj;
  if (num > 0) {
    createNextCommand(commands, engine, num);
  }
}

void RequestGroup::initPieceStorage() {
  std::shared_ptr<PieceStorage> storage;
  if (downloadContext_->knowsTotalLength() &&
      (downloadContext_->getTotalLength() > 0 || p2pInvolved())) {
    auto ps = std::make_shared<DefaultPieceStorage>(downloadContext_, option_.get());
    if (requestGroupMan_) {
      ps->setWrDiskCache(requestGroupMan_->getWrDiskCache());
    }
    if (diskWriterFactory_) {
      ps->setDiskWriterFactory(diskWriterFactory_);
    }
    storage = ps;
  } else {
    auto ps = std::make_shared<UnknownLengthPieceStorage>(downloadContext_);
    if (diskWriterFactory_) {
      ps->setDiskWriterFactory(diskWriterFactory_);
    }
    storage = ps;
  }
  storage->initStorage();
  if (requestGroupMan_) {
    storage->getDiskAdaptor()->setOpenedFileCounter(requestGroupMan_->getOpenedFileCounter());
  }
  segmentMan_ = std::make_shared<SegmentMan>(downloadContext_, storage);
  pieceStorage_ = std::move(storage);
}

void RequestGroup::adjustFilename() {
  DefaultBtProgressInfoFile progressInfoFile(downloadContext_, nullptr, option_.get());
  const auto& fileEntry = downloadContext_->getFirstFileEntry();
  if (!progressInfoFile.exists() && downloadContext_->getFileEntries().size() == 1 &&
      File(fileEntry->getPath()).exists() && !option_->getAsBool(PREF_ALLOW_OVERWRITE)) {
    // Never truncate a file this download did not start.
    if (!option_->getAsBool(PREF_AUTO_FILE_RENAMING)) {
      throw DOWNLOAD_FAILURE_EXCEPTION(
          fmt("File %s exists, but a control file(*.quarn) does not exist. Download was "
              "canceled in order to prevent your file from being truncated to 0. If you are "
              "sure to download the file all over again, then delete it or add "
              "--allow-overwrite=true option and restart quarn.",
              fileEntry->getPath().c_str()),
          error_code::FILE_ALREADY_EXISTS);
    }
    const std::string original = fileEntry->getPath();
    for (int i = 1;; ++i) {
      std::string candidate = fmt("%s.%d", original.c_str(), i);
      if (!File(candidate).exists() && !File(candidate + ".quarn").exists()) {
        fileEntry->setPath(candidate);
        QLOG_NOTICE(fmt("File already exists. Renamed to %s.", candidate.c_str()));
        break;
      }
    }
  }
}

bool RequestGroup::openStorage() {
  auto progressInfoFile =
      std::make_shared<DefaultBtProgressInfoFile>(downloadContext_, pieceStorage_, option_.get());
  if (progressInfoFile->exists()) {
    progressInfoFile->load();
    pieceStorage_->getDiskAdaptor()->openExistingFile();
  } else {
    pieceStorage_->getDiskAdaptor()->initAndOpenFile();
  }
  progressInfoFile_ = std::move(progressInfoFile);
  return !downloadFinished();
}

int64_t RequestGroup::getTotalLength() const {
  if (!pieceStorage_) {
    return 0;
  }
  return pieceStorage_->isSelectiveDownloadingMode() ? pieceStorage_->getFilteredTotalLength()
                                                     : pieceStorage_->getTotalLength();
}

int64_t RequestGroup::getCompletedLength() const {
  if (!pieceStorage_) {
    return 0;
  }
  return pieceStorage_->isSelectiveDownloadingMode() ? pieceStorage_->getFilteredCompletedLength()
                                                     : pieceStorage_->getCompletedLength();
}

bool RequestGroup::downloadFinished() const {
  return pieceStorage_ && pieceStorage_->downloadFinished();
}

bool RequestGroup::allDownloadFinished() const {
  return pieceStorage_ && pieceStorage_->allDownloadFinished();
}

TransferStat RequestGroup::calculateStat() const {
  // A torrent adds the upload of its earlier sessions here once BitTorrent
  // keeps a runtime for it.
  return downloadContext_->getNetStat().toTransferStat();
}

bool RequestGroup::doesDownloadSpeedExceed() {
  return maxDownloadSpeedLimit_ > 0 &&
         maxDownloadSpeedLimit_ < downloadContext_->getNetStat().calculateDownloadSpeed();
}

bool RequestGroup::doesUploadSpeedExceed() {
  return maxUploadSpeedLimit_ > 0 &&
         maxUploadSpeedLimit_ < downloadContext_->getNetStat().calculateUploadSpeed();
}

std::string RequestGroup::getFirstFilePath() const {
  const std::string& path = downloadContext_->getFirstFileEntry()->getPath();
  if (inMemoryDownload_) {
    return "[MEMORY]" + File(path).getBasename();
  }
  return path;
}

bool RequestGroup::p2pInvolved() const {
  return downloadContext_->hasAttribute(CTX_ATTR_BT);
}

bool RequestGroup::isSeeder() const {
  // Seeding needs the torrent's metadata, which BitTorrent attaches; without
  // it no download seeds.
  return false;
}

void RequestGroup::decreaseNumCommand() {
  --numCommand_;
  if (numCommand_ == 0 && requestGroupMan_) {
    QLOG_DEBUG(fmt("GID#%s - Request queue check", gid_->toHex().c_str()));
    requestGroupMan_->requestQueueCheck();
  }
}

void RequestGroup::increaseAndValidateFileNotFoundCount() {
  ++fileNotFoundCount_;
  const int32_t maxCount = option_->getAsInt(PREF_MAX_FILE_NOT_FOUND);
  if (maxCount > 0 && fileNotFoundCount_ >= maxCount &&
      downloadContext_->getNetStat().getSessionDownloadLength() == 0) {
    throw DOWNLOAD_FAILURE_EXCEPTION(fmt("Reached max-file-not-found count=%d", maxCount),
                                     error_code::MAX_FILE_NOT_FOUND);
  }
}

void RequestGroup::setHaltRequested(bool f, HaltReason reason) {
  haltRequested_ = f;
  if (haltRequested_) {
    pauseRequested_ = false;
    haltReason_ = reason;
  }
}

void RequestGroup::setForceHaltRequested(bool f, HaltReason reason) {
  setHaltRequested(f, reason);
  forceHaltRequested_ = f;
}

void RequestGroup::enableSeedOnly() {
  if (seedOnly_ || !option_->getAsBool(PREF_BT_DETACH_SEED_ONLY) || !requestGroupMan_) {
    return;
  }
  seedOnly_ = true;
  requestGroupMan_->decreaseNumActive();
  requestGroupMan_->requestQueueCheck();
}

void RequestGroup::saveControlFile() const {
  if (!saveControlFile_) {
    return;
  }
  if (pieceStorage_) {
    pieceStorage_->flushWrDiskCacheEntry(false);
    pieceStorage_->getDiskAdaptor()->flushOSBuffers();
  }
  progressInfoFile_->save();
}

void RequestGroup::removeControlFile() const {
  progressInfoFile_->removeFile();
}

void RequestGroup::closeFile() {
  if (pieceStorage_) {
    pieceStorage_->flushWrDiskCacheEntry(true);
    pieceStorage_->getDiskAdaptor()->flushOSBuffers();
    pieceStorage_->getDiskAdaptor()->closeFile();
  }
}

void RequestGroup::updateLastModifiedTime(const Time& time) {
  if (time.good() && lastModifiedTime_.difference(time).count() > 0) {
    lastModifiedTime_ = time;
  }
}

void RequestGroup::applyLastModifiedTimeToLocalFiles() {
  if (!pieceStorage_ || !lastModifiedTime_.good()) {
    return;
  }
  QLOG_INFO(fmt("Applying Last-Modified time: %s", lastModifiedTime_.toHTTPDate().c_str()));
  size_t n = pieceStorage_->getDiskAdaptor()->utime(Time(), lastModifiedTime_);
  QLOG_INFO(fmt("Last-Modified attrs of %lu files were updated.", static_cast<unsigned long>(n)));
}

void RequestGroup::validateFilename(const std::string& expectedFilename,
                                    const std::string& actualFilename) const {
  if (expectedFilename.empty() || expectedFilename == actualFilename) {
    return;
  }
  throw DL_ABORT_EX(
      fmt("The requested filename and the previously registered one are not same. "
          "Expected:%s Actual:%s",
          expectedFilename.c_str(), actualFilename.c_str()));
}

void RequestGroup::validateFilename(const std::string& actualFilename) const {
  validateFilename(downloadContext_->getFirstFileEntry()->getBasename(), actualFilename);
}

void RequestGroup::validateTotalLength(int64_t expectedTotalLength,
                                       int64_t actualTotalLength) const {
  if (expectedTotalLength <= 0 || expectedTotalLength == actualTotalLength) {
    return;
  }
  throw DL_ABORT_EX(fmt("Size mismatch Expected:%lld Actual:%lld",
                        static_cast<long long>(expectedTotalLength),
                        static_cast<long long>(actualTotalLength)));
}

void RequestGroup::validateTotalLength(int64_t actualTotalLength) const {
  validateTotalLength(getTotalLength(), actualTotalLength);
}

std::pair<error_code::Value, std::string> RequestGroup::downloadResult() const {
  if (downloadFinished() && !downloadContext_->isChecksumVerificationNeeded()) {
    return {error_code::FINISHED, ""};
  }
  if (haltReason_ == USER_REQUEST) {
    return {error_code::REMOVED, ""};
  }
  if (lastErrorCode_ != error_code::UNDEFINED) {
    return {lastErrorCode_, lastErrorMessage_};
  }
  if (haltReason_ == SHUTDOWN_SIGNAL) {
    return {error_code::IN_PROGRESS, ""};
  }
  return {error_code::UNKNOWN_ERROR, ""};
}

std::shared_ptr<DownloadResult> RequestGroup::createDownloadResult() const {
  QLOG_DEBUG(fmt("GID#%s - Creating DownloadResult.", gid_->toHex().c_str()));
  TransferStat st = calculateStat();
  auto res = std::make_shared<DownloadResult>();
  res->gid = gid_;
  res->attrs = downloadContext_->getAttributes();
  res->fileEntries = downloadContext_->getFileEntries();
  res->inMemoryDownload = inMemoryDownload_;
  res->sessionDownloadLength = st.sessionDownloadLength;
  res->sessionTime = std::chrono::duration_cast<std::chrono::milliseconds>(
                         downloadContext_->calculateSessionTime())
                         .count();
  auto result = downloadResult();
  res->result = result.first;
  res->resultMessage = result.second;
  res->followedBy = followedBy_;
  res->following = following_;
  res->belongsTo = belongsTo_;
  res->option = option_;
  res->metadataInfo = metadataInfo_;
  res->uploadLength = st.allTimeUploadLength;
  if (pieceStorage_) {
    res->totalLength = getTotalLength();
    res->completedLength = getCompletedLength();
    if (pieceStorage_->getBitfieldLength() > 0) {
      res->bitfield.assign(reinterpret_cast<const char*>(pieceStorage_->getBitfield()),
                           pieceStorage_->getBitfieldLength());
    }
  }
  res->pieceLength = downloadContext_->getPieceLength();
  res->numPieces = downloadContext_->getNumPieces();
  res->dir = option_->get(PREF_DIR);
  return res;
}

void RequestGroup::reportDownloadFinished() {
  QLOG_NOTICE(fmt(_("Download complete: %s"), inMemoryDownload_
                                                  ? getFirstFilePath().c_str()
                                                  : downloadContext_->getBasePath().c_str()));
}

void RequestGroup::postDownloadProcessing(std::vector<std::shared_ptr<RequestGroup>>& /*groups*/) {}

void RequestGroup::releaseRuntimeResource(DownloadEngine* /*engine*/) {
  if (pieceStorage_) {
    pieceStorage_->removeAdvertisedPiece(Timer::zero());
  }
  progressInfoFile_ = std::make_shared<NullProgressInfoFile>();
  downloadContext_->releaseRuntimeResource();
  seedOnly_ = false;
}

}  // namespace quarn
