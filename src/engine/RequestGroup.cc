#include "engine/RequestGroup.h"

#include <algorithm>
#include <cerrno>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/CheckIntegrityEntry.h"
#include "engine/ChecksumCheckIntegrityEntry.h"
#include "engine/Dependency.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadResult.h"
#include "engine/DownloadStarter.h"
#include "engine/InorderURISelector.h"
#include "engine/MetadataInfo.h"
#include "engine/PostDownloadHandler.h"
#include "engine/PreDownloadHandler.h"
#include "engine/RequestGroupMan.h"
#include "engine/StreamCheckIntegrityEntry.h"
#include "engine/TorrentSession.h"
#include "engine/download_handlers.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/File.h"
#include "foundation/LogMacros.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_number.h"
#include "foundation/util_range.h"
#include "foundation/util_string.h"
#include "platform/file_space.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/FileAllocationIterator.h"
#include "storage/NullProgressInfoFile.h"
#include "storage/PieceSelector.h"
#include "storage/PieceStorage.h"
#include "storage/SegmentMan.h"
#include "storage/SequentialPicker.h"
#include "storage/UnknownLengthPieceStorage.h"

namespace quarn {

const char MSG_FILE_EXISTS_WITHOUT_CONTROL_FILE[] =
    "File %s exists, but a control file(*.quarn) does not exist. Download was canceled in "
    "order to prevent your file from being truncated to 0. If you are sure to download the "
    "file all over again, then delete it or add --allow-overwrite=true option and restart "
    "quarn.";

RequestGroup::RequestGroup(std::shared_ptr<GroupId> gid, std::shared_ptr<Option> option)
    : belongsTo_(0),
      gid_(std::move(gid)),
      option_(std::move(option)),
      progressInfoFile_(std::make_shared<NullProgressInfoFile>()),
      uriSelector_(std::make_unique<InorderURISelector>()),
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
      seedOnly_(false) {
  if (!option_->getAsBool(PREF_DRY_RUN)) {
    initializePreDownloadHandler();
    initializePostDownloadHandler();
  }
}

RequestGroup::~RequestGroup() = default;

void RequestGroup::setDownloadContext(std::shared_ptr<DownloadContext> downloadContext) {
  downloadContext_ = std::move(downloadContext);
  if (downloadContext_) {
    downloadContext_->setOwnerRequestGroup(this);
    downloadContext_->setSharedNetStat(requestGroupMan_ ? &requestGroupMan_->getNetStat()
                                                        : nullptr);
    downloadContext_->setInMemoryDownload(inMemoryDownload_);
  }
}

void RequestGroup::markInMemoryDownload() {
  inMemoryDownload_ = true;
  if (downloadContext_) {
    downloadContext_->setInMemoryDownload(true);
  }
}

void RequestGroup::setRequestGroupMan(RequestGroupMan* rgman) {
  requestGroupMan_ = rgman;
  if (downloadContext_) {
    downloadContext_->setSharedNetStat(rgman ? &rgman->getNetStat() : nullptr);
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

void RequestGroup::setURISelector(std::unique_ptr<URISelector> selector) {
  uriSelector_ = std::move(selector);
}

void RequestGroup::createInitialCommand(std::vector<std::unique_ptr<Command>>& commands,
                                        DownloadEngine* engine) {
  downloadContext_->resetDownloadStartTime();
  if (downloadContext_->hasAttribute(CTX_ATTR_BT)) {
    createInitialBtCommand(commands, engine);
  } else if (downloadContext_->getFileEntries().size() == 1) {
    createInitialSingleFileCommand(commands, engine);
  } else {
    createInitialMultiFileCommand(commands, engine);
  }
}

void RequestGroup::createInitialBtCommand(std::vector<std::unique_ptr<Command>>& commands,
                                          DownloadEngine* engine) {
  if (option_->getAsBool(PREF_DRY_RUN)) {
    throw DOWNLOAD_FAILURE_EXCEPTION("Cancel BitTorrent download in dry-run context.",
                                     error_code::UNKNOWN_ERROR);
  }
  // The torrent set-up (peers, trackers, DHT) is BitTorrent's; without it
  // installed a torrent download gets no command and ends.
  if (auto* starter = engine->getService<TorrentDownloadStarter>()) {
    starter->createInitialCommands(commands, this, engine);
  }
}

void RequestGroup::createInitialSingleFileCommand(std::vector<std::unique_ptr<Command>>& commands,
                                                  DownloadEngine* engine) {
  // Until the size is known one connection asks for it; the response that
  // fixes the size prepares the storage.
  if (option_->getAsBool(PREF_DRY_RUN) || downloadContext_->getTotalLength() == 0) {
    // A download without any URI has nothing to ask and ends at once.
    if (!downloadContext_->getFirstFileEntry()->getRemainingUris().empty()) {
      createNextCommand(commands, engine, 1);
    }
    return;
  }
  auto infoFile =
      std::make_shared<DefaultBtProgressInfoFile>(downloadContext_, nullptr, option_.get());
  adjustFilename(infoFile);
  initPieceStorage();
  if (auto entry = createCheckIntegrityEntry()) {
    processCheckIntegrityEntry(commands, std::move(entry), engine);
  }
}

void RequestGroup::createInitialMultiFileCommand(std::vector<std::unique_ptr<Command>>& commands,
                                                 DownloadEngine* engine) {
  if (option_->getAsBool(PREF_DRY_RUN)) {
    throw DOWNLOAD_FAILURE_EXCEPTION("--dry-run in multi-file download is not supported yet.",
                                     error_code::UNKNOWN_ERROR);
  }
  if (requestGroupMan_ && requestGroupMan_->isSameFileBeingDownloaded(this)) {
    throw DOWNLOAD_FAILURE_EXCEPTION(fmt(_("File %s is being downloaded by other command."),
                                         downloadContext_->getBasePath().c_str()),
                                     error_code::DUPLICATE_DOWNLOAD);
  }
  initPieceStorage();
  if (downloadContext_->getFileEntries().size() > 1) {
    pieceStorage_->setupFileFilter();
  }
  auto infoFile =
      std::make_shared<DefaultBtProgressInfoFile>(downloadContext_, pieceStorage_, option_.get());
  removeDefunctControlFile(infoFile);
  auto diskAdaptor = pieceStorage_->getDiskAdaptor();
  if (infoFile->exists()) {
    infoFile->load();
  } else if (diskAdaptor->fileExists() && !isCheckIntegrityReady() &&
             !option_->getAsBool(PREF_ALLOW_OVERWRITE)) {
    throw DOWNLOAD_FAILURE_EXCEPTION(
        fmt(_(MSG_FILE_EXISTS_WITHOUT_CONTROL_FILE), downloadContext_->getBasePath().c_str()),
        error_code::FILE_ALREADY_EXISTS);
  }
  ensureDiskSpace();
  diskAdaptor->openFile();
  setProgressInfoFile(infoFile);
  processCheckIntegrityEntry(commands, std::make_unique<StreamCheckIntegrityEntry>(this), engine);
}

void RequestGroup::processCheckIntegrityEntry(std::vector<std::unique_ptr<Command>>& commands,
                                              std::unique_ptr<CheckIntegrityEntry> entry,
                                              DownloadEngine* engine) {
  if (pieceStorage_->getDiskAdaptor()->size() > downloadContext_->getTotalLength()) {
    entry->cutTrailingGarbage();
  }
  if ((option_->getAsBool(PREF_CHECK_INTEGRITY) ||
       downloadContext_->isChecksumVerificationNeeded()) &&
      entry->isValidationReady()) {
    entry->initValidator();
    // A half-checked download must not overwrite its control file.
    saveControlFile_ = false;
    engine->getCheckIntegrityMan()->pushEntry(std::move(entry));
  } else {
    entry->onDownloadIncomplete(commands, engine);
  }
}

void RequestGroup::createNextCommand(std::vector<std::unique_ptr<Command>>& commands,
                                     DownloadEngine* engine, int numCommand) {
  auto* starter = engine->getService<UriDownloadStarter>();
  for (int i = 0; starter && i < numCommand; ++i) {
    commands.push_back(starter->createConnectionCommand(engine->newCUID(), this, engine));
  }
  if (!commands.empty()) {
    engine->setNoWait(true);
  }
}

void RequestGroup::createNextCommand(std::vector<std::unique_ptr<Command>>& commands,
                                     DownloadEngine* engine) {
  int numCommand;
  if (getTotalLength() == 0) {
    numCommand = numStreamCommand_ == 0 ? 1 : 0;
  } else if (numStreamCommand_ >= maxConcurrentCommands_) {
    numCommand = 0;
  } else {
    numCommand = static_cast<int>(std::min<int64_t>(downloadContext_->getNumPieces(),
                                                    maxConcurrentCommands_ - numStreamCommand_));
  }
  if (numCommand > 0) {
    createNextCommand(commands, engine, numCommand);
  }
}

void RequestGroup::createNextCommandWithAdj(std::vector<std::unique_ptr<Command>>& commands,
                                            DownloadEngine* engine, int numAdj) {
  int numCommand = getTotalLength() == 0
                       ? 1
                       : static_cast<int>(std::min<int64_t>(downloadContext_->getNumPieces(),
                                                            maxConcurrentCommands_));
  numCommand += numAdj;
  if (numCommand > 0) {
    createNextCommand(commands, engine, numCommand);
  }
}

bool RequestGroup::openStorage() {
  loadAndOpenFile(
      std::make_shared<DefaultBtProgressInfoFile>(downloadContext_, pieceStorage_, option_.get()));
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
  TransferStat stat = downloadContext_->getNetStat().toTransferStat();
  if (torrentSession_) {
    stat.allTimeUploadLength =
        stat.sessionUploadLength + torrentSession_->getUploadLengthAtStartup();
  } else if (!infoHash_.empty()) {
    stat.allTimeUploadLength = stat.sessionUploadLength + uploadLengthAtStartup_;
  }
  return stat;
}

int RequestGroup::getNumConnection() const {
  return numStreamConnection_ + (torrentSession_ ? torrentSession_->getConnections() : 0);
}

void RequestGroup::setTorrentSession(std::unique_ptr<TorrentSession> session) {
  torrentSession_ = std::move(session);
  if (torrentSession_) {
    infoHash_ = torrentSession_->getInfoHash();
    torrentSession_->setHalt(haltRequested_);
  }
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
  // A magnet link's metadata download is kept in memory and has nothing to
  // seed; every other running torrent seeds once it holds all it wants.
  return torrentSession_ && !inMemoryDownload_ && downloadFinished();
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
  if (torrentSession_) {
    torrentSession_->setHalt(f);
  }
}

void RequestGroup::setForceHaltRequested(bool f, HaltReason reason) {
  setHaltRequested(f, reason);
  forceHaltRequested_ = f;
}

void RequestGroup::haltForShutdown(bool force) {
  if (!haltRequested_) {
    stoppedWhileRunning_ = true;
  }
  auto reason = haltRequested_ ? haltReason_ : SHUTDOWN_SIGNAL;
  if (force) {
    setForceHaltRequested(true, reason);
  } else {
    setHaltRequested(true, reason);
  }
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
  // Without a control file the data counts as complete: it must be on the
  // device first. Closed files were synced as they closed.
  if (pieceStorage_) {
    pieceStorage_->flushWrDiskCacheEntry(false);
    pieceStorage_->getDiskAdaptor()->flushOSBuffers();
  }
  progressInfoFile_->removeFile();
}

void RequestGroup::removeFilesWithoutContent() {
  // A download of length 0 has all of its content: its file stays.
  if (!pieceStorage_ || getCompletedLength() != 0 ||
      downloadContext_->getNetStat().getSessionDownloadLength() != 0 ||
      (downloadContext_->knowsTotalLength() && downloadContext_->getTotalLength() == 0)) {
    return;
  }
  bool keptOne = false;
  bool removedOne = false;
  for (const auto& entry : downloadContext_->getFileEntries()) {
    auto i = existedBeforeRun_.find(entry->getPath());
    if (i == existedBeforeRun_.end() || !File(entry->getPath()).exists()) {
      continue;
    }
    if (i->second) {
      keptOne = true;
    } else if (File(entry->getPath()).remove()) {
      removedOne = true;
      QLOG_NOTICE(fmt(_("Removed %s: the download failed before any of its data arrived."),
                      entry->getPath().c_str()));
    }
  }
  if (removedOne && !keptOne) {
    removeControlFile();
  }
}

void RequestGroup::closeFile() {
  if (pieceStorage_) {
    pieceStorage_->flushWrDiskCacheEntry(true);
    pieceStorage_->getDiskAdaptor()->flushOSBuffers();
    pieceStorage_->getDiskAdaptor()->closeFile();
  }
}

std::vector<int> RequestGroup::takeUnsyncedDescriptors() {
  if (!pieceStorage_) {
    return {};
  }
  pieceStorage_->flushWrDiskCacheEntry(true);
  return pieceStorage_->getDiskAdaptor()->takeUnsyncedDescriptors();
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
  if (stoppedWhileRunning_) {
    return {error_code::IN_PROGRESS, ""};
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
  res->infoHash = infoHash_;
  res->pieceLength = downloadContext_->getPieceLength();
  res->numPieces = downloadContext_->getNumPieces();
  res->dir = option_->get(PREF_DIR);
  return res;
}

void RequestGroup::reportDownloadFinished() {
  QLOG_NOTICE(fmt(_("Download complete: %s"), inMemoryDownload_
                                                  ? getFirstFilePath().c_str()
                                                  : downloadContext_->getBasePath().c_str()));
  uriSelector_->resetCounters();
  // A magnet link's metadata download has shared nothing worth a ratio.
  if (p2pInvolved() && !inMemoryDownload_) {
    TransferStat stat = calculateStat();
    const int64_t completed = getCompletedLength();
    const double ratio = completed == 0 ? 0.0
                                        : static_cast<double>(stat.allTimeUploadLength) /
                                              static_cast<double>(completed);
    QLOG_NOTICE(fmt(_("Your share ratio was %.1f, uploaded/downloaded=%sB/%sB"), ratio,
                    util::abbrevSize(stat.allTimeUploadLength).c_str(),
                    util::abbrevSize(completed).c_str()));
  }
}

void RequestGroup::initializePreDownloadHandler() {
  if (option_->get(PREF_FOLLOW_TORRENT) == V_MEM) {
    addPreDownloadHandler(download_handlers::getBtPreDownloadHandler());
  }
  if (option_->get(PREF_FOLLOW_METALINK) == V_MEM) {
    addPreDownloadHandler(download_handlers::getMetalinkPreDownloadHandler());
  }
}

void RequestGroup::initializePostDownloadHandler() {
  const std::string& followTorrent = option_->get(PREF_FOLLOW_TORRENT);
  if (followTorrent == QN_V_TRUE || followTorrent == V_MEM) {
    addPostDownloadHandler(download_handlers::getBtPostDownloadHandler());
  }
  const std::string& followMetalink = option_->get(PREF_FOLLOW_METALINK);
  if (followMetalink == QN_V_TRUE || followMetalink == V_MEM) {
    addPostDownloadHandler(download_handlers::getMetalinkPostDownloadHandler());
  }
}

bool RequestGroup::isDependencyResolved() {
  return !dependency_ || dependency_->resolve();
}

void RequestGroup::dependsOn(std::unique_ptr<Dependency> dependency) {
  dependency_ = std::move(dependency);
}

void RequestGroup::addPreDownloadHandler(const PreDownloadHandler* handler) {
  // A format whose reader is not built in has no handler to attach.
  if (handler) {
    preDownloadHandlers_.push_back(handler);
  }
}

void RequestGroup::addPostDownloadHandler(const PostDownloadHandler* handler) {
  if (handler) {
    postDownloadHandlers_.push_back(handler);
  }
}

void RequestGroup::preDownloadProcessing() {
  QLOG_DEBUG(fmt("Finding PreDownloadHandler for path %s.", getFirstFilePath().c_str()));
  try {
    for (const auto* handler : preDownloadHandlers_) {
      if (handler->canHandle(this)) {
        handler->execute(this);
        return;
      }
    }
  } catch (RecoverableException& e) {
    QLOG_ERROR_EX(_("Exception caught"), e);
    return;
  }
  QLOG_DEBUG("No PreDownloadHandler found.");
}

void RequestGroup::postDownloadProcessing(std::vector<std::shared_ptr<RequestGroup>>& groups) {
  QLOG_DEBUG(fmt("Finding PostDownloadHandler for path %s.", getFirstFilePath().c_str()));
  try {
    for (const auto* handler : postDownloadHandlers_) {
      if (handler->canHandle(this)) {
        handler->getNextRequestGroups(groups, this);
        return;
      }
    }
  } catch (RecoverableException& e) {
    QLOG_ERROR_EX(_("Exception caught"), e);
  }
  QLOG_DEBUG("No PostDownloadHandler found.");
}

void RequestGroup::releaseRuntimeResource(DownloadEngine* /*engine*/) {
  if (torrentSession_) {
    uploadLengthAtStartup_ = torrentSession_->getUploadLengthAtStartup();
    torrentSession_->release();
    torrentSession_.reset();
  }
  if (pieceStorage_) {
    pieceStorage_->removeAdvertisedPiece(Timer::zero());
  }
  progressInfoFile_ = std::make_shared<NullProgressInfoFile>();
  downloadContext_->releaseRuntimeResource();
  seedOnly_ = false;
}

void RequestGroup::initPieceStorage() {
  for (const auto& entry : downloadContext_->getFileEntries()) {
    if (!inMemoryDownload_ && !entry->getPath().empty()) {
      existedBeforeRun_.emplace(entry->getPath(), File(entry->getPath()).exists());
    }
  }
  std::shared_ptr<PieceStorage> storage;
  if (downloadContext_->knowsTotalLength() &&
      (downloadContext_->getTotalLength() > 0 || downloadContext_->hasAttribute(CTX_ATTR_BT))) {
    auto ps = std::make_shared<DefaultPieceStorage>(downloadContext_, option_.get());
    if (downloadContext_->hasAttribute(CTX_ATTR_BT)) {
      setUpTorrentPieceSelector(*ps);
    }
    if (requestGroupMan_) {
      ps->setWrDiskCache(requestGroupMan_->getWrDiskCache());
      ps->setDiskWriteQueue(requestGroupMan_->getDiskWriteQueue());
    }
    if (diskWriterFactory_) {
      ps->setDiskWriterFactory(diskWriterFactory_);
    }
    storage = std::move(ps);
  } else {
    auto ps = std::make_shared<UnknownLengthPieceStorage>(downloadContext_);
    if (diskWriterFactory_) {
      ps->setDiskWriterFactory(diskWriterFactory_);
    }
    storage = std::move(ps);
  }
  storage->initStorage();
  if (requestGroupMan_) {
    storage->getDiskAdaptor()->setOpenedFileCounter(requestGroupMan_->getOpenedFileCounter());
  }
  segmentMan_ = std::make_shared<SegmentMan>(downloadContext_, storage);
  pieceStorage_ = std::move(storage);
}

void RequestGroup::setUpTorrentPieceSelector(DefaultPieceStorage& ps) {
  // Files that also have URIs are fetched from web seeds too, which favour
  // long runs of pieces.
  const auto& entries = downloadContext_->getFileEntries();
  if (std::any_of(entries.begin(), entries.end(), [](const std::shared_ptr<FileEntry>& entry) {
        return entry->isRequested() && !entry->getRemainingUris().empty();
      })) {
    QLOG_DEBUG("Using LongestSequencePieceSelector");
    ps.setPieceSelector(std::make_unique<LongestSequencePieceSelector>());
  }
  if (!option_->defined(PREF_BT_PRIORITIZE_PIECE)) {
    return;
  }
  std::vector<util::FileSpan> spans;
  for (const auto& entry : entries) {
    spans.push_back({entry->getOffset(), entry->getLength()});
  }
  std::vector<size_t> pieces;
  util::parsePrioritizePieceRange(pieces, option_->get(PREF_BT_PRIORITIZE_PIECE), spans,
                                  downloadContext_->getPieceLength());
  if (pieces.empty()) {
    return;
  }
  std::shuffle(pieces.begin(), pieces.end(), *SimpleRandomizer::getInstance());
  auto selector = std::make_unique<PriorityPieceSelector>(ps.popPieceSelector());
  selector->setPriorityPiece(pieces.begin(), pieces.end());
  ps.setPieceSelector(std::move(selector));
}

void RequestGroup::ensureDiskSpace() const {
  if (inMemoryDownload_ || !downloadContext_->knowsTotalLength()) {
    return;
  }
  // Bytes still to be written and the space left, per file system.
  std::map<uint64_t, std::pair<int64_t, int64_t>> needs;
  std::string firstPath;
  for (const auto& entry : downloadContext_->getFileEntries()) {
    if (!entry->isRequested() || entry->getLength() <= 0 || entry->getPath().empty()) {
      continue;
    }
    auto space = platform::fileSystemSpaceOf(entry->getPath());
    if (!space) {
      continue;
    }
    File file(entry->getPath());
    int64_t have = file.isFile() ? file.size() : 0;
    auto& [needed, available] = needs[space->id];
    needed += std::max<int64_t>(0, entry->getLength() - have);
    available = space->available;
    if (firstPath.empty()) {
      firstPath = entry->getPath();
    }
  }
  for (const auto& [id, need] : needs) {
    if (need.first > need.second) {
      throw DOWNLOAD_FAILURE_EXCEPTION(
          ENOSPC,
          fmt(_("Failed to write into the file %s, cause: %s"), firstPath.c_str(),
              fmt("%s (%lld bytes needed, %lld available)", util::safeStrerror(ENOSPC).c_str(),
                  static_cast<long long>(need.first), static_cast<long long>(need.second))
                  .c_str()),
          error_code::NOT_ENOUGH_DISK_SPACE);
    }
  }
}

void RequestGroup::loadAndOpenFile(const std::shared_ptr<BtProgressInfoFile>& progressInfoFile) {
  ensureDiskSpace();
  try {
    auto diskAdaptor = pieceStorage_->getDiskAdaptor();
    if (!localFileCheckEnabled_) {
      diskAdaptor->initAndOpenFile();
      return;
    }
    removeDefunctControlFile(progressInfoFile);
    if (progressInfoFile->exists()) {
      progressInfoFile->load();
      diskAdaptor->openExistingFile();
    } else {
      File outfile(getFirstFilePath());
      const bool outfileExists = outfile.exists();
      if (outfileExists && option_->getAsBool(PREF_CONTINUE) &&
          outfile.size() <= getTotalLength()) {
        diskAdaptor->openExistingFile();
        pieceStorage_->markPiecesDone(outfile.size());
      } else if (outfileExists && isCheckIntegrityReady()) {
        diskAdaptor->openExistingFile();
      } else {
        diskAdaptor->initAndOpenFile();
      }
    }
    setProgressInfoFile(progressInfoFile);
  } catch (RecoverableException& e) {
    throw DOWNLOAD_FAILURE_EXCEPTION(_("Download aborted."), e);
  }
}

void RequestGroup::adjustFilename(const std::shared_ptr<BtProgressInfoFile>& infoFile) {
  if (!localFileCheckEnabled_) {
    return;
  }
  if (requestGroupMan_ && requestGroupMan_->isSameFileBeingDownloaded(this)) {
    tryAutoFileRenaming();
    QLOG_NOTICE(fmt(_("File already exists. Renamed to %s."), getFirstFilePath().c_str()));
    return;
  }
  if (!option_->getAsBool(PREF_DRY_RUN) && option_->getAsBool(PREF_REMOVE_CONTROL_FILE) &&
      infoFile->exists()) {
    infoFile->removeFile();
    QLOG_NOTICE(fmt(_("Removed control file for %s because it is requested by user."),
                    infoFile->getFilename().c_str()));
  }
  if (infoFile->exists()) {
    return;
  }
  // Each stat of the path costs a system call per download: one answer
  // serves every test below.
  File outfile(getFirstFilePath());
  if (!outfile.exists()) {
    return;  // nothing to keep safe from
  }
  if (option_->getAsBool(PREF_CONTINUE) && outfile.size() <= downloadContext_->getTotalLength()) {
    return;
  }
  if (isCheckIntegrityReady()) {
    return;
  }
  shouldCancelDownloadForSafety();
}

void RequestGroup::shouldCancelDownloadForSafety() {
  if (option_->getAsBool(PREF_ALLOW_OVERWRITE) || !File(getFirstFilePath()).exists()) {
    return;
  }
  tryAutoFileRenaming();
  QLOG_NOTICE(fmt(_("File already exists. Renamed to %s."), getFirstFilePath().c_str()));
}

namespace {

// The path before its extension and the extension (from the last dot of the
// base name on); a base name starting with its only dot has no extension.
std::pair<std::string, std::string> splitExtension(const std::string& path) {
  auto dot = path.rfind('.');
  auto slash = path.find_last_of("/\\");
  if (dot != std::string::npos && dot != 0 && (slash == std::string::npos || slash + 1 < dot)) {
    return {path.substr(0, dot), path.substr(dot)};
  }
  return {path, ""};
}

}  // namespace

void RequestGroup::tryAutoFileRenaming() {
  const std::string filepath = getFirstFilePath();
  if (!option_->getAsBool(PREF_AUTO_FILE_RENAMING)) {
    throw DOWNLOAD_FAILURE_EXCEPTION(fmt(_(MSG_FILE_EXISTS_WITHOUT_CONTROL_FILE), filepath.c_str()),
                                     error_code::FILE_ALREADY_EXISTS);
  }
  if (filepath.empty()) {
    throw DOWNLOAD_FAILURE_EXCEPTION(fmt("File renaming failed: %s", filepath.c_str()),
                                     error_code::FILE_RENAMING_FAILED);
  }
  auto [stem, ext] = splitExtension(filepath);
  for (int i = 1; i < 10000; ++i) {
    std::string candidate = fmt("%s.%d%s", stem.c_str(), i, ext.c_str());
    File file(candidate);
    // A taken name whose control file exists is a download to resume.
    if (!file.exists() ||
        (file.exists() && File(candidate + DefaultBtProgressInfoFile::getSuffix()).exists())) {
      downloadContext_->getFirstFileEntry()->setPath(candidate);
      return;
    }
  }
  throw DOWNLOAD_FAILURE_EXCEPTION(fmt("File renaming failed: %s", filepath.c_str()),
                                   error_code::FILE_RENAMING_FAILED);
}

void RequestGroup::removeDefunctControlFile(
    const std::shared_ptr<BtProgressInfoFile>& progressInfoFile) {
  if (progressInfoFile->exists() && !pieceStorage_->getDiskAdaptor()->fileExists()) {
    progressInfoFile->removeFile();
    QLOG_NOTICE(fmt(_("Removed the defunct control file %s because the download file %s "
                      "doesn't exist."),
                    progressInfoFile->getFilename().c_str(),
                    downloadContext_->getBasePath().c_str()));
  }
}

bool RequestGroup::downloadFinishedByFileLength() {
  if (!localFileCheckEnabled_ || option_->getAsBool(PREF_ALLOW_OVERWRITE) ||
      !downloadContext_->knowsTotalLength()) {
    return false;
  }
  File outfile(getFirstFilePath());
  return outfile.exists() && outfile.size() == downloadContext_->getTotalLength();
}

bool RequestGroup::isCheckIntegrityReady() {
  if (!option_->getAsBool(PREF_CHECK_INTEGRITY)) {
    return false;
  }
  if (downloadContext_->isChecksumVerificationAvailable() && downloadFinishedByFileLength()) {
    return true;
  }
  return downloadContext_->isPieceHashVerificationAvailable();
}

std::unique_ptr<CheckIntegrityEntry> RequestGroup::createCheckIntegrityEntry() {
  auto infoFile =
      std::make_shared<DefaultBtProgressInfoFile>(downloadContext_, pieceStorage_, option_.get());
  if (option_->getAsBool(PREF_CHECK_INTEGRITY) &&
      downloadContext_->isPieceHashVerificationAvailable()) {
    // Checked piece by piece whether or not the file was complete.
    loadAndOpenFile(infoFile);
    return std::make_unique<StreamCheckIntegrityEntry>(this);
  }
  if (localFileCheckEnabled_ && (infoFile->exists() || (File(getFirstFilePath()).exists() &&
                                                        option_->getAsBool(PREF_CONTINUE)))) {
    loadAndOpenFile(infoFile);
    if (!downloadFinished()) {
      return std::make_unique<StreamCheckIntegrityEntry>(this);
    }
    if (downloadContext_->isChecksumVerificationNeeded()) {
      QLOG_INFO("File has already been downloaded but hash check has not been done yet.");
      return makeRedownloadingChecksumEntry();
    }
    downloadContext_->setChecksumVerified(true);
    QLOG_NOTICE(fmt(_("GID#%s - Download has already completed: %s"), gid_->toHex().c_str(),
                    downloadContext_->getBasePath().c_str()));
    return nullptr;
  }
  if (downloadFinishedByFileLength() && downloadContext_->isChecksumVerificationAvailable()) {
    pieceStorage_->markAllPiecesDone();
    loadAndOpenFile(infoFile);
    return makeRedownloadingChecksumEntry();
  }
  loadAndOpenFile(infoFile);
  return std::make_unique<StreamCheckIntegrityEntry>(this);
}

std::unique_ptr<CheckIntegrityEntry> RequestGroup::makeRedownloadingChecksumEntry() {
  auto entry = std::make_unique<ChecksumCheckIntegrityEntry>(this);
  // A mismatch before downloading means downloading again, not failing.
  entry->setRedownload(true);
  return entry;
}

bool RequestGroup::needsFileAllocation() const {
  return fileAllocationEnabled_ &&
         option_->getAsLLInt(PREF_NO_FILE_ALLOCATION_LIMIT) <= getTotalLength() &&
         !pieceStorage_->getDiskAdaptor()->fileAllocationIterator()->finished();
}

}  // namespace quarn
