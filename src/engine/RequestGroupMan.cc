#include "engine/RequestGroupMan.h"

#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <sstream>
#include <tuple>
#include <unordered_set>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/AdaptiveURISelector.h"
#include "engine/DownloadEngine.h"
#include "engine/FeedbackURISelector.h"
#include "engine/InorderURISelector.h"
#include "engine/Notifier.h"
#include "engine/UriListParser.h"
#include "engine/download_helper.h"
#include "engine/option_change.h"
#include "engine/util_hook.h"
#include "foundation/DlAbortEx.h"
#include "foundation/File.h"
#include "foundation/LogMacros.h"
#include "foundation/OutputFile.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_number.h"
#include "foundation/wallclock.h"
#include "storage/BitfieldMan.h"
#include "storage/DiskWriteQueue.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/OpenedFileCounter.h"
#include "storage/PeerStat.h"
#include "storage/PieceStorage.h"
#include "storage/Request.h"
#include "storage/SegmentMan.h"
#include "storage/ServerStat.h"
#include "storage/ServerStatMan.h"
#include "storage/WrDiskCache.h"
#include "storage/uri_host.h"

namespace quarn {

namespace {

// Writes to one file run in order on one thread; more threads serve
// downloads and multi-file torrents writing several files at once.
constexpr size_t DISK_WRITE_THREADS = 2;
// Bytes handed to the write threads and not written yet, at the most.
constexpr size_t DISK_WRITE_BACKLOG = 4 * 1024 * 1024;

// The longest leading decimal number of the text; 0 without one.
double parseLeadingDouble(const std::string& text) {
  return std::strtod(text.c_str(), nullptr);
}

void notifyEvent(DownloadEvent event, const std::shared_ptr<RequestGroup>& group) {
  if (auto* notifier = Notifier::getInstance()) {
    notifier->notifyDownloadEvent(event, group);
  }
}

}  // namespace

RequestGroupMan::RequestGroupMan(std::vector<std::shared_ptr<RequestGroup>> requestGroups,
                                 int maxConcurrentDownloads, const Option* option)
    : maxConcurrentDownloads_(maxConcurrentDownloads),
      optimizeConcurrentDownloads_(false),
      optimizeConcurrentDownloadsCoeffA_(5.),
      optimizeConcurrentDownloadsCoeffB_(25.),
      optimizationSpeed_(0),
      numActive_(0),
      option_(option),
      maxOverallDownloadSpeedLimit_(option->getAsInt(PREF_MAX_OVERALL_DOWNLOAD_LIMIT)),
      maxOverallUploadSpeedLimit_(option->getAsInt(PREF_MAX_OVERALL_UPLOAD_LIMIT)),
      serverStatMan_(std::make_shared<ServerStatMan>()),
      rpc_(option->getAsBool(PREF_ENABLE_RPC)),
      queueCheck_(true),
      removedErrorResult_(0),
      removedLastErrorResult_(error_code::FINISHED),
      maxDownloadResult_(option->getAsInt(PREF_MAX_DOWNLOAD_RESULT)),
      openedFileCounter_(std::make_shared<OpenedFileCounter>(
          [this] {
            std::vector<std::shared_ptr<DiskAdaptor>> adaptors;
            for (const auto& [gid, group] : requestGroups_) {
              const auto& ps = group->getPieceStorage();
              adaptors.push_back(ps ? ps->getDiskAdaptor() : nullptr);
            }
            return adaptors;
          },
          option->getAsInt(PREF_BT_MAX_OPEN_FILES))),
      numStoppedTotal_(0) {
  setupOptimizeConcurrentDownloads();
  for (const auto& group : requestGroups) {
    reservedGroups_.push_back(group->getGID(), group);
  }
}

RequestGroupMan::~RequestGroupMan() {
  openedFileCounter_->deactivate();
}

bool RequestGroupMan::setupOptimizeConcurrentDownloads() {
  optimizeConcurrentDownloads_ = option_->getAsBool(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS);
  if (optimizeConcurrentDownloads_ && option_->defined(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFA)) {
    optimizeConcurrentDownloadsCoeffA_ =
        parseLeadingDouble(option_->get(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFA));
    optimizeConcurrentDownloadsCoeffB_ =
        parseLeadingDouble(option_->get(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFB));
  }
  return optimizeConcurrentDownloads_;
}

void RequestGroupMan::initWrDiskCache() {
  const int64_t limit = option_->getAsLLInt(PREF_DISK_CACHE);
  if (limit > 0) {
    wrDiskCache_ = std::make_unique<WrDiskCache>(static_cast<size_t>(limit));
    // Cached data is written by worker threads, so that the loop receives
    // while the page cache or the device takes it. What they hold back is
    // kept small: together with the cache it is the download's memory.
    diskWriteQueue_ = std::make_unique<DiskWriteQueue>(
        DISK_WRITE_THREADS, std::min<size_t>(static_cast<size_t>(limit), DISK_WRITE_BACKLOG));
  }
}

void RequestGroupMan::setUriListParser(std::shared_ptr<UriListParser> uriListParser) {
  uriListParser_ = std::move(uriListParser);
}

void RequestGroupMan::addRequestGroup(const std::shared_ptr<RequestGroup>& group) {
  ++numActive_;
  requestGroups_.push_back(group->getGID(), group);
}

void RequestGroupMan::addReservedGroup(const std::shared_ptr<RequestGroup>& group) {
  requestQueueCheck();
  reservedGroups_.push_back(group->getGID(), group);
}

void RequestGroupMan::addReservedGroup(const std::vector<std::shared_ptr<RequestGroup>>& groups) {
  requestQueueCheck();
  for (const auto& group : groups) {
    reservedGroups_.push_back(group->getGID(), group);
  }
}

void RequestGroupMan::insertReservedGroup(size_t pos, const std::shared_ptr<RequestGroup>& group) {
  requestQueueCheck();
  pos = std::min(pos, reservedGroups_.size());
  reservedGroups_.insert(pos, group->getGID(), group);
}

void RequestGroupMan::insertReservedGroup(
    size_t pos, const std::vector<std::shared_ptr<RequestGroup>>& groups) {
  requestQueueCheck();
  reservedGroups_.insert(
      pos, [](const std::shared_ptr<RequestGroup>& g) { return g->getGID(); }, groups.begin(),
      groups.end());
}

bool RequestGroupMan::removeReservedGroup(GroupId::gid_t gid) {
  return reservedGroups_.remove(gid);
}

size_t RequestGroupMan::changeReservedGroupPosition(GroupId::gid_t gid, ssize_t offset,
                                                    OffsetMode mode) {
  ssize_t dest = reservedGroups_.move(gid, offset, mode);
  if (dest == -1) {
    throw DL_ABORT_EX(fmt("GID#%s not found in the waiting queue.", GroupId::toHex(gid).c_str()));
  }
  return static_cast<size_t>(dest);
}

std::shared_ptr<RequestGroup> RequestGroupMan::findGroup(GroupId::gid_t gid) const {
  auto group = requestGroups_.get(gid);
  return group ? group : reservedGroups_.get(gid);
}

bool RequestGroupMan::downloadFinished() {
  return !rpc_ && requestGroups_.empty() && reservedGroups_.empty();
}

void RequestGroupMan::halt() {
  for (const auto& [gid, group] : requestGroups_) {
    group->haltForShutdown(false);
  }
}

void RequestGroupMan::forceHalt() {
  for (const auto& [gid, group] : requestGroups_) {
    group->haltForShutdown(true);
  }
}

TransferStat RequestGroupMan::calculateStat() {
  return netStat_.toTransferStat();
}

bool RequestGroupMan::doesOverallDownloadSpeedExceed() {
  return maxOverallDownloadSpeedLimit_ > 0 &&
         maxOverallDownloadSpeedLimit_ < netStat_.calculateDownloadSpeed();
}

bool RequestGroupMan::doesOverallUploadSpeedExceed() {
  return maxOverallUploadSpeedLimit_ > 0 &&
         maxOverallUploadSpeedLimit_ < netStat_.calculateUploadSpeed();
}

void RequestGroupMan::decreaseNumActive() {
  assert(numActive_ > 0);
  --numActive_;
}

void RequestGroupMan::configureRequestGroup(const std::shared_ptr<RequestGroup>& group) const {
  const std::string& selector = group->getOption()->get(PREF_URI_SELECTOR);
  if (selector == V_FEEDBACK) {
    group->setURISelector(std::make_unique<FeedbackURISelector>(serverStatMan_));
  } else if (selector == V_INORDER) {
    group->setURISelector(std::make_unique<InorderURISelector>());
  } else if (selector == V_ADAPTIVE) {
    group->setURISelector(std::make_unique<AdaptiveURISelector>(serverStatMan_, group.get()));
  }
}

void RequestGroupMan::fillRequestGroupFromReserver(DownloadEngine* e) {
  removeStoppedGroup(e);
  const int limit =
      optimizeConcurrentDownloads_ ? optimizeConcurrentDownloads() : maxConcurrentDownloads_;
  if (static_cast<int64_t>(numActive_) >= limit) {
    return;
  }
  const int64_t count = limit - static_cast<int64_t>(numActive_);
  int64_t started = 0;
  std::vector<std::shared_ptr<RequestGroup>> deferred;
  while (started < count) {
    if (uriListParser_ && reservedGroups_.empty()) {
      std::vector<std::shared_ptr<RequestGroup>> groups;
      if (createRequestGroupFromUriListParser(groups, option_, uriListParser_.get(),
                                              downloadSources_.get())) {
        for (const auto& g : groups) {
          reservedGroups_.push_back(g->getGID(), g);
        }
      } else {
        uriListParser_.reset();
        if (reservedGroups_.empty()) {
          break;
        }
      }
    } else if (reservedGroups_.empty()) {
      break;
    }
    auto group = reservedGroups_.begin()->second;
    reservedGroups_.pop_front();
    if ((rpc_ && group->isPauseRequested()) || !group->isDependencyResolved()) {
      deferred.push_back(group);
      continue;
    }
    group->dropPieceStorage();
    configureRequestGroup(group);
    group->setRequestGroupMan(this);
    group->setState(RequestGroup::STATE_ACTIVE);
    addRequestGroup(group);
    std::vector<std::unique_ptr<Command>> commands;
    try {
      group->createInitialCommand(commands, e);
      ++started;
      if (!commands.empty()) {
        e->addCommand(std::move(commands));
      }
    } catch (RecoverableException& ex) {
      QLOG_ERROR_EX(_("Exception caught"), ex);
      QLOG_DEBUG("Deleting temporal commands.");
      commands.clear();
      group->setLastErrorCode(ex.getErrorCode(), ex.what());
    }
    requestQueueCheck();
    util::executeHookByOptName(group, option_, PREF_ON_DOWNLOAD_START);
    notifyEvent(EVENT_ON_DOWNLOAD_START, group);
  }
  reservedGroups_.insert(
      0, [](const std::shared_ptr<RequestGroup>& g) { return g->getGID(); }, deferred.begin(),
      deferred.end());
  if (started > 0) {
    e->setNoWait(true);
    e->setRefreshInterval(std::chrono::milliseconds(0));
    QLOG_DEBUG(fmt("%d RequestGroup(s) added.", static_cast<int>(started)));
  }
}

int RequestGroupMan::optimizeConcurrentDownloads() {
  const int32_t speed = netStat_.calculateDownloadSpeed();
  const Timer& now = global::wallclock();
  if (speed >= optimizationSpeed_) {
    optimizationSpeed_ = speed;
    optimizationSpeedTimer_ = now;
  } else if (optimizationSpeedTimer_.difference(now) >= std::chrono::seconds(5)) {
    optimizationSpeedTimer_ = now;
    if (netStat_.calculateNewestDownloadSpeed(5) * 1.1 <= speed) {
      optimizationSpeed_ = static_cast<int32_t>((optimizationSpeed_ + speed) * 0.5);
    }
  }
  if (optimizationSpeed_ <= 0) {
    return static_cast<int>(optimizeConcurrentDownloadsCoeffA_);
  }
  if (maxOverallDownloadSpeedLimit_ >= 1 && maxOverallDownloadSpeedLimit_ < optimizationSpeed_) {
    optimizationSpeed_ = maxOverallDownloadSpeedLimit_;
  }
  int n = static_cast<int>(std::ceil(optimizeConcurrentDownloadsCoeffA_ +
                                     optimizeConcurrentDownloadsCoeffB_ *
                                         std::log10(optimizationSpeed_ * 8.0 / 1000000.0)));
  n = std::max(n, 1);
  n = std::min(n, maxConcurrentDownloads_);
  QLOG_DEBUG(
      fmt("Max concurrent downloads optimized at %d (%lu currently active) "
          "[optimization speed %sB/s, current speed %sB/s]",
          n, static_cast<unsigned long>(numActive_), util::abbrevSize(optimizationSpeed_).c_str(),
          util::abbrevSize(speed).c_str()));
  return n;
}

void RequestGroupMan::removeStoppedGroup(DownloadEngine* e) {
  const size_t before = requestGroups_.size();
  // Processing may add follow-up downloads to the waiting list, never to the
  // active list, so walking a copy keeps the order stable.
  std::vector<std::shared_ptr<RequestGroup>> groups;
  for (const auto& [gid, group] : requestGroups_) {
    groups.push_back(group);
  }
  std::unordered_set<GroupId::gid_t> removed;
  for (const auto& group : groups) {
    if (processStoppedGroup(e, group)) {
      removed.insert(group->getGID());
    }
  }
  if (!removed.empty()) {
    requestGroups_.remove_if(
        [&](const std::shared_ptr<RequestGroup>& g) { return removed.count(g->getGID()) > 0; });
  }
  if (requestGroups_.size() != before) {
    QLOG_DEBUG(fmt("%lu RequestGroup(s) deleted.",
                   static_cast<unsigned long>(before - requestGroups_.size())));
    // Every command gets a turn at once: the commands that serve all
    // downloads (the DHT, the listeners) end when the last one is gone, and
    // nothing the poll watches would wake them before a whole refresh.
    e->setNoWait(true);
    e->setRefreshInterval(std::chrono::milliseconds(0));
  }
}

namespace {

// A detached signature (from a Metalink document) goes beside the file; it is
// not verified, and an existing file is never replaced.
void saveSignature(const RequestGroup& group) {
  const Signature* sig = group.getDownloadContext()->getSignature();
  if (!sig || sig->getBody().empty()) {
    return;
  }
  std::string path = group.getFirstFilePath() + ".sig";
  if (sig->save(path)) {
    QLOG_NOTICE(fmt(_("Saved signature as %s. Please note that quarn doesn't verify signatures."),
                    path.c_str()));
  } else {
    QLOG_NOTICE(fmt(_("Saving signature as %s failed. Maybe file already exists."), path.c_str()));
  }
}

}  // namespace

void RequestGroupMan::processFinishedGroup(const std::shared_ptr<RequestGroup>& group) {
  group->applyLastModifiedTimeToLocalFiles();
  group->reportDownloadFinished();
  if (group->allDownloadFinished()) {
    if (group->getOption()->getAsBool(PREF_FORCE_SAVE)) {
      group->saveControlFile();
    } else {
      group->removeControlFile();
      saveSignature(*group);
    }
  } else {
    group->saveControlFile();
  }
  std::vector<std::shared_ptr<RequestGroup>> nextGroups;
  group->postDownloadProcessing(nextGroups);
  if (!nextGroups.empty()) {
    QLOG_DEBUG(fmt("Adding %lu RequestGroups as a result of PostDownloadHandler.",
                   static_cast<unsigned long>(nextGroups.size())));
    insertReservedGroup(0, nextGroups);
  }
  if (group->getOption()->getAsBool(PREF_BT_REMOVE_UNSELECTED_FILE) && !group->inMemoryDownload() &&
      group->getDownloadContext()->hasAttribute(CTX_ATTR_BT)) {
    QLOG_INFO(fmt("GID#%s - Removing unselected file.", group->getGroupId()->toHex().c_str()));
    for (const auto& entry : group->getDownloadContext()->getFileEntries()) {
      if (entry->isRequested()) {
        continue;
      }
      if (File(entry->getPath()).remove()) {
        QLOG_INFO(fmt("File %s removed.", entry->getPath().c_str()));
      } else {
        QLOG_INFO(fmt("File %s could not be removed.", entry->getPath().c_str()));
      }
    }
  }
}

// Feeds the speeds of a stopped download's fastest connections, one per
// host and protocol, into the server statistics.
void RequestGroupMan::updateServerStat(const RequestGroup& group) {
  const auto& segmentMan = group.getSegmentMan();
  if (!segmentMan) {
    return;
  }
  const bool singleConnection = segmentMan->getPeerStats().size() == 1;
  for (const auto& peerStat : segmentMan->getFastestPeerStats()) {
    const int32_t speed = peerStat->getAvgDownloadSpeed();
    if (peerStat->getHostname().empty() || peerStat->getProtocol().empty() || speed == 0) {
      continue;
    }
    auto stat = getOrCreateServerStat(peerStat->getHostname(), peerStat->getProtocol());
    stat->increaseCounter();
    stat->updateDownloadSpeed(speed);
    if (singleConnection) {
      stat->updateSingleConnectionAvgSpeed(speed);
    } else {
      stat->updateMultiConnectionAvgSpeed(speed);
    }
  }
}

bool RequestGroupMan::collectDiskSyncs() {
  if (stopSyncs_.empty()) {
    return false;
  }
  std::vector<uint64_t> done = diskSync_.takeFinished();
  for (auto gid : done) {
    auto it = stopSyncs_.find(gid);
    if (it != stopSyncs_.end()) {
      it->second = true;
    }
  }
  if (!done.empty()) {
    requestQueueCheck();
  }
  return diskSync_.outstanding() > 0;
}

void RequestGroupMan::waitDiskSyncs() {
  if (stopSyncs_.empty()) {
    return;
  }
  diskSync_.waitAll();
  collectDiskSyncs();
}

// A stopped download's data is synced before anything that relies on it being
// on the device: the control file saved or removed, the result, the hooks.
// On the loop thread a sync stalls every other download for as long as the
// device takes, so a worker does it on duplicates of the descriptors and the
// stop goes on once it has run. While the engine halts it is done in line.
bool RequestGroupMan::dataSyncedForStop(DownloadEngine* e,
                                        const std::shared_ptr<RequestGroup>& group) {
  auto it = stopSyncs_.find(group->getGID());
  if (it != stopSyncs_.end()) {
    if (!it->second) {
      if (e && !e->isHaltRequested()) {
        return false;
      }
      waitDiskSyncs();
    }
    stopSyncs_.erase(it);
    return true;
  }
  if (!e || e->isHaltRequested()) {
    return true;
  }
  std::vector<int> fds;
  try {
    fds = group->takeUnsyncedDescriptors();
  } catch (RecoverableException& ex) {
    // Data that never reached the file makes the download fail, whatever
    // it had counted; closing the files in line goes on from there.
    QLOG_ERROR_EX(_("Exception caught"), ex);
    group->setLastErrorCode(ex.getErrorCode(), ex.what());
    return true;
  }
  if (fds.empty()) {
    return true;
  }
  const auto& dctx = group->getDownloadContext();
  if (dctx->getDownloadStopTime().isZero()) {
    dctx->resetDownloadStopTime();
  }
  stopSyncs_.emplace(group->getGID(), false);
  diskSync_.submit(group->getGID(), [fds = std::move(fds)] {
    for (int fd : fds) {
      fsync(fd);
      close(fd);
    }
  });
  // Nothing the poll watches tells of the sync's end; with no other download
  // active, the loop would otherwise sleep a whole refresh before looking.
  e->setRefreshInterval(std::chrono::milliseconds(1));
  return false;
}

bool RequestGroupMan::processStoppedGroup(DownloadEngine* e,
                                          const std::shared_ptr<RequestGroup>& group) {
  if (group->getNumCommand() > 0 || !dataSyncedForStop(e, group)) {
    return false;
  }
  updateServerStat(*group);
  if (!group->isSeedOnlyEnabled()) {
    decreaseNumActive();
  }
  const auto& dctx = group->getDownloadContext();
  if (dctx->getDownloadStopTime().isZero()) {
    dctx->resetDownloadStopTime();
  }
  try {
    group->closeFile();
    if (group->isPauseRequested()) {
      if (!group->isRestartRequested()) {
        QLOG_NOTICE(fmt(_("Download GID#%s paused"), group->getGroupId()->toHex().c_str()));
      }
      group->saveControlFile();
    } else if (group->downloadFinished() && !dctx->isChecksumVerificationNeeded()) {
      processFinishedGroup(group);
    } else {
      QLOG_NOTICE(fmt(_("Download GID#%s not complete: %s"), group->getGroupId()->toHex().c_str(),
                      dctx->getBasePath().c_str()));
      group->saveControlFile();
    }
  } catch (RecoverableException& ex) {
    QLOG_ERROR_EX(_("Exception caught"), ex);
  }
  const Option* globalOption = option_;
  if (group->isPauseRequested()) {
    group->setState(RequestGroup::STATE_WAITING);
    reservedGroups_.push_front(group->getGID(), group);
    group->releaseRuntimeResource(e);
    group->setForceHaltRequested(false);
    if (group->isRestartRequested()) {
      group->setPauseRequested(false);
    } else {
      util::executeHookByOptName(group, globalOption, PREF_ON_DOWNLOAD_PAUSE);
      notifyEvent(EVENT_ON_DOWNLOAD_PAUSE, group);
    }
  } else {
    auto dr = group->createDownloadResult();
    addDownloadResult(dr);
    if (dr->result != error_code::FINISHED && dr->result != error_code::IN_PROGRESS &&
        dr->result != error_code::REMOVED) {
      try {
        group->removeFilesWithoutContent();
      } catch (RecoverableException& ex) {
        QLOG_ERROR_EX(_("Exception caught"), ex);
      }
    }
    const Pref* hookPref = nullptr;
    if (!globalOption->blank(PREF_ON_DOWNLOAD_STOP)) {
      hookPref = PREF_ON_DOWNLOAD_STOP;
    }
    DownloadEvent event;
    switch (dr->result) {
      case error_code::FINISHED:
        if (!globalOption->blank(PREF_ON_DOWNLOAD_COMPLETE)) {
          hookPref = PREF_ON_DOWNLOAD_COMPLETE;
        }
        event = EVENT_ON_DOWNLOAD_COMPLETE;
        break;
      case error_code::IN_PROGRESS:
      case error_code::REMOVED:
        event = EVENT_ON_DOWNLOAD_STOP;
        break;
      default:
        if (!globalOption->blank(PREF_ON_DOWNLOAD_ERROR)) {
          hookPref = PREF_ON_DOWNLOAD_ERROR;
        }
        event = EVENT_ON_DOWNLOAD_ERROR;
        break;
    }
    if (hookPref) {
      util::executeHookByOptName(group, globalOption, hookPref);
    }
    notifyEvent(event, group);
    group->releaseRuntimeResource(e);
  }
  group->setRestartRequested(false);
  if (group->getPendingOption()) {
    // Options that could only change while the download was stopped.
    changeOption(group, *group->getPendingOption(), e);
    group->setPendingOption(nullptr);
  }
  return true;
}

void RequestGroupMan::addDownloadResult(const std::shared_ptr<DownloadResult>& result) {
  ++numStoppedTotal_;
  downloadResults_.push_back(result->gid->getNumericId(), result);
  while (downloadResults_.size() > maxDownloadResult_) {
    const auto& oldest = downloadResults_.begin()->second;
    if (oldest->belongsTo == 0 && oldest->result != error_code::FINISHED) {
      removedLastErrorResult_ = oldest->result;
      ++removedErrorResult_;
      if (option_->getAsBool(PREF_KEEP_UNFINISHED_DOWNLOAD_RESULT) &&
          (oldest->result != error_code::REMOVED || oldest->option->getAsBool(PREF_FORCE_SAVE))) {
        unfinishedDownloadResults_.push_back(oldest);
      }
    }
    downloadResults_.pop_front();
  }
}

std::shared_ptr<DownloadResult> RequestGroupMan::findDownloadResult(GroupId::gid_t gid) const {
  return downloadResults_.get(gid);
}

bool RequestGroupMan::removeDownloadResult(GroupId::gid_t gid) {
  return downloadResults_.remove(gid);
}

DownloadStat RequestGroupMan::getDownloadStat() const {
  DownloadStat stat;
  stat.errorCount = removedErrorResult_;
  stat.lastErrorResult = removedLastErrorResult_;
  for (const auto& [gid, dr] : downloadResults_) {
    if (dr->belongsTo != 0) {
      continue;
    }
    if (dr->result == error_code::IN_PROGRESS) {
      ++stat.inProgressCount;
    } else if (dr->result != error_code::FINISHED && dr->result != error_code::REMOVED) {
      stat.lastErrorResult = dr->result;
      ++stat.errorCount;
    }
  }
  stat.waitingCount = static_cast<int>(reservedGroups_.size());
  return stat;
}

namespace {

const char* const COLOR_OK = "\033[1;32mOK\033[0m  ";
const char* const COLOR_INPR = "\033[1;34mINPR\033[0m";
const char* const COLOR_RM = "\033[1mRM\033[0m  ";
const char* const COLOR_ERR = "\033[1;31mERR\033[0m ";

// The id, status and average speed columns of a result row.
std::string formatCommonPart(const DownloadResult& dr, const char* status) {
  std::ostringstream o;
  o << std::setw(3) << dr.gid->toAbbrevHex() << "|" << std::setw(4) << status << "|";
  if (dr.sessionTime > 0) {
    o << std::setw(8) << util::abbrevSize(dr.sessionDownloadLength * 1000 / dr.sessionTime)
      << "B/s";
  } else {
    o << std::setw(11) << "n/a";
  }
  o << "|";
  return o.str();
}

void writeShortRow(OutputFile& o, const DownloadResult& dr, const char* status) {
  std::ostringstream line;
  line << formatCommonPart(dr, status);
  writeFilePath(dr.fileEntries.begin(), dr.fileEntries.end(), line, dr.inMemoryDownload);
  line << "\n";
  o.write(line.str().c_str());
}

void writeFullRows(OutputFile& o, const DownloadResult& dr, const char* status) {
  BitfieldMan bt(dr.pieceLength, dr.totalLength);
  if (!dr.bitfield.empty()) {
    bt.setBitfield(reinterpret_cast<const unsigned char*>(dr.bitfield.data()), dr.bitfield.size());
  }
  bool first = true;
  for (const auto& entry : dr.fileEntries) {
    if (!entry->isRequested()) {
      continue;
    }
    std::ostringstream line;
    line << (first ? formatCommonPart(dr, status) : std::string("   |    |           |"));
    first = false;
    if (entry->getLength() != 0 && !dr.bitfield.empty()) {
      line << std::setw(3)
           << 100 * bt.getOffsetCompletedLength(entry->getOffset(), entry->getLength()) /
                  entry->getLength()
           << "|";
    } else {
      line << "  -|";
    }
    writeFilePath(line, entry, dr.inMemoryDownload);
    line << "\n";
    o.write(line.str().c_str());
  }
  if (first) {
    o.write((formatCommonPart(dr, status) + "  -|n/a\n").c_str());
  }
}

}  // namespace

void RequestGroupMan::showDownloadResults(OutputFile& o, bool full) const {
  o.printf("\n%s\ngid   |stat|avg speed  |", _("Download Results:"));
  if (full) {
    o.write("  %|path/URI\n======+====+===========+===+");
  } else {
    o.write("path/URI\n======+====+===========+");
  }
  o.printf("%s\n", std::string(full ? 51 : 55, '=').c_str());
  const bool useColor = o.supportsColor() && option_->getAsBool(PREF_ENABLE_COLOR);
  int ok = 0;
  int err = 0;
  int inpr = 0;
  int rm = 0;
  for (const auto& [gid, dr] : downloadResults_) {
    if (dr->belongsTo != 0) {
      continue;
    }
    const char* status;
    switch (dr->result) {
      case error_code::FINISHED:
        status = useColor ? COLOR_OK : "OK  ";
        ++ok;
        break;
      case error_code::IN_PROGRESS:
        status = useColor ? COLOR_INPR : "INPR";
        ++inpr;
        break;
      case error_code::REMOVED:
        status = useColor ? COLOR_RM : "RM  ";
        ++rm;
        break;
      default:
        status = useColor ? COLOR_ERR : "ERR ";
        ++err;
        break;
    }
    if (full) {
      writeFullRows(o, *dr, status);
    } else {
      writeShortRow(o, *dr, status);
    }
  }
  if (ok > 0 || err > 0 || inpr > 0 || rm > 0) {
    o.printf("\n%s\n", _("Status Legend:"));
    if (ok > 0) {
      o.write(_("(OK):download completed."));
    }
    if (err > 0) {
      o.write(_("(ERR):error occurred."));
    }
    if (inpr > 0) {
      o.write(_("(INPR):download in-progress."));
    }
    if (rm > 0) {
      o.write(_("(RM):download removed."));
    }
    o.write("\n");
  }
}

void RequestGroupMan::save() {
  // A control file saved now must not claim data a worker is still syncing.
  waitDiskSyncs();
  for (const auto& [gid, group] : requestGroups_) {
    if (!group->allDownloadFinished() ||
        group->getDownloadContext()->isChecksumVerificationNeeded() ||
        group->getOption()->getAsBool(PREF_FORCE_SAVE)) {
      try {
        group->saveControlFile();
      } catch (RecoverableException& ex) {
        QLOG_ERROR_EX(_("Exception caught"), ex);
      }
    } else {
      group->removeControlFile();
    }
  }
}

void RequestGroupMan::closeFile() {
  waitDiskSyncs();
  for (const auto& [gid, group] : requestGroups_) {
    group->closeFile();
  }
}

bool RequestGroupMan::isSameFileBeingDownloaded(const RequestGroup* group) const {
  if (!group->isLocalFileCheckEnabled()) {
    return false;
  }
  std::unordered_set<std::string> paths;
  for (const auto& [gid, other] : requestGroups_) {
    if (other.get() == group) {
      continue;
    }
    for (const auto& entry : other->getDownloadContext()->getFileEntries()) {
      paths.insert(entry->getPath());
    }
  }
  for (const auto& entry : group->getDownloadContext()->getFileEntries()) {
    if (paths.count(entry->getPath())) {
      return true;
    }
  }
  return false;
}

std::shared_ptr<ServerStat> RequestGroupMan::findServerStat(const std::string& hostname,
                                                            const std::string& protocol) const {
  return serverStatMan_->find(hostname, protocol);
}

std::shared_ptr<ServerStat> RequestGroupMan::getOrCreateServerStat(const std::string& hostname,
                                                                   const std::string& protocol) {
  auto stat = findServerStat(hostname, protocol);
  if (!stat) {
    stat = std::make_shared<ServerStat>(hostname, protocol);
    addServerStat(stat);
  }
  return stat;
}

bool RequestGroupMan::addServerStat(const std::shared_ptr<ServerStat>& serverStat) {
  return serverStatMan_->add(serverStat);
}

bool RequestGroupMan::loadServerStat(const std::string& filename) {
  return serverStatMan_->load(filename);
}

bool RequestGroupMan::saveServerStat(const std::string& filename) const {
  return serverStatMan_->save(filename);
}

void RequestGroupMan::removeStaleServerStat(time_t timeout) {
  serverStatMan_->removeStaleServerStat(timeout);
}

void RequestGroupMan::getUsedHosts(UsedHosts& usedHosts) const {
  struct UsedHost {
    size_t count;
    int32_t key;  // the negated speed, so that faster servers sort first
    std::string host;
  };
  std::vector<UsedHost> hosts;
  for (const auto& [gid, group] : requestGroups_) {
    const auto& entries = group->getDownloadContext()->getFileEntries();
    if (entries.empty()) {
      continue;
    }
    for (const auto& req : entries.front()->getInFlightRequests()) {
      std::string host, scheme;
      if (!uri_host::getHostAndScheme(req->getUri(), host, scheme)) {
        continue;
      }
      auto used = std::find_if(hosts.begin(), hosts.end(),
                               [&host](const UsedHost& h) { return h.host == host; });
      if (used != hosts.end()) {
        ++used->count;
        continue;
      }
      auto stat = findServerStat(host, scheme);
      int32_t key = stat && stat->isOK() ? -stat->getDownloadSpeed() : 0;
      hosts.push_back({1, key, std::move(host)});
    }
  }
  std::sort(hosts.begin(), hosts.end(), [](const UsedHost& a, const UsedHost& b) {
    return std::tie(a.count, a.key, a.host) < std::tie(b.count, b.key, b.host);
  });
  for (auto& h : hosts) {
    usedHosts.emplace_back(h.count, std::move(h.host));
  }
}

}  // namespace quarn
