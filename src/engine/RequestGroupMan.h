#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/DiskSyncPool.h"
#include "engine/DownloadResult.h"
#include "engine/GroupId.h"
#include "engine/IndexedList.h"
#include "engine/RequestGroup.h"
#include "foundation/Timer.h"
#include "storage/NetStat.h"
#include "storage/URISelector.h"

namespace quarn {

class DownloadEngine;
class OpenedFileCounter;
class Option;
class OutputFile;
class ServerStat;
class ServerStatMan;
class UriListParser;
class DownloadSources;
class DiskWriteQueue;
class WrDiskCache;

// The summary of the results that decides the exit status.
struct DownloadStat {
  int errorCount = 0;
  int inProgressCount = 0;
  int waitingCount = 0;
  error_code::Value lastErrorResult = error_code::FINISHED;

  bool allCompleted() const { return errorCount == 0 && inProgressCount == 0 && waitingCount == 0; }
};

using RequestGroupList = IndexedList<GroupId::gid_t, std::shared_ptr<RequestGroup>>;
using DownloadResultList = IndexedList<GroupId::gid_t, std::shared_ptr<DownloadResult>>;

// The one owner of every download of the process: the active, waiting and
// result lists, the fill of the active list, and the process-wide statistics.
class RequestGroupMan {
 public:
  RequestGroupMan(std::vector<std::shared_ptr<RequestGroup>> requestGroups,
                  int maxConcurrentDownloads, const Option* option);
  ~RequestGroupMan();
  RequestGroupMan(const RequestGroupMan&) = delete;
  RequestGroupMan& operator=(const RequestGroupMan&) = delete;

  bool setupOptimizeConcurrentDownloads();
  void initWrDiskCache();
  void setUriListParser(std::shared_ptr<UriListParser> uriListParser);
  const std::shared_ptr<UriListParser>& getUriListParser() const { return uriListParser_; }

  // How arguments that are not plain URIs become downloads (input lists read
  // while running, the control server); null knows only URIs.
  void setDownloadSources(std::shared_ptr<const DownloadSources> sources) {
    downloadSources_ = std::move(sources);
  }
  const DownloadSources* getDownloadSources() const { return downloadSources_.get(); }

  // Processes stopped downloads and starts waiting ones up to the limit.
  void fillRequestGroupFromReserver(DownloadEngine* e);
  // Takes the downloads without commands out of the active list.
  void removeStoppedGroup(DownloadEngine* e);
  int optimizeConcurrentDownloads();

  void addRequestGroup(const std::shared_ptr<RequestGroup>& group);
  void addReservedGroup(const std::shared_ptr<RequestGroup>& group);
  void addReservedGroup(const std::vector<std::shared_ptr<RequestGroup>>& groups);
  void insertReservedGroup(size_t pos, const std::shared_ptr<RequestGroup>& group);
  void insertReservedGroup(size_t pos, const std::vector<std::shared_ptr<RequestGroup>>& groups);
  bool removeReservedGroup(GroupId::gid_t gid);
  size_t changeReservedGroupPosition(GroupId::gid_t gid, ssize_t offset, OffsetMode mode);
  std::shared_ptr<RequestGroup> findGroup(GroupId::gid_t gid) const;
  size_t countRequestGroup() const { return requestGroups_.size(); }

  // No active and no waiting download, and no control server to wait for.
  bool downloadFinished();
  void halt();
  void forceHalt();

  TransferStat calculateStat();
  bool doesOverallDownloadSpeedExceed();
  bool doesOverallUploadSpeedExceed();
  void decreaseNumActive();
  size_t getNumActive() const { return numActive_; }
  // Takes back the syncs the workers have finished (loop thread, every turn);
  // true while some are still running.
  bool collectDiskSyncs();
  // Blocks until every sync handed to the workers has run.
  void waitDiskSyncs();

  void addDownloadResult(const std::shared_ptr<DownloadResult>& result);
  std::shared_ptr<DownloadResult> findDownloadResult(GroupId::gid_t gid) const;
  bool removeDownloadResult(GroupId::gid_t gid);
  void purgeDownloadResult() { downloadResults_.clear(); }
  DownloadStat getDownloadStat() const;
  void showDownloadResults(OutputFile& o, bool full) const;

  // Writes the control file of every unfinished active download; removes it
  // for complete ones.
  void save();
  void closeFile();
  bool isSameFileBeingDownloaded(const RequestGroup* group) const;

  const RequestGroupList& getRequestGroups() const { return requestGroups_; }
  RequestGroupList& getRequestGroups() { return requestGroups_; }
  const RequestGroupList& getReservedGroups() const { return reservedGroups_; }
  RequestGroupList& getReservedGroups() { return reservedGroups_; }
  const DownloadResultList& getDownloadResults() const { return downloadResults_; }
  const std::deque<std::shared_ptr<DownloadResult>>& getUnfinishedDownloadResult() const {
    return unfinishedDownloadResults_;
  }

  // Setting the flag asks for a fill on the next loop turn.
  void requestQueueCheck() { queueCheck_ = true; }
  void clearQueueCheck() { queueCheck_ = false; }
  bool queueCheckRequested() const { return queueCheck_; }

  int getMaxConcurrentDownloads() const { return maxConcurrentDownloads_; }
  void setMaxConcurrentDownloads(int n) { maxConcurrentDownloads_ = n; }
  bool getOptimizeConcurrentDownloads() const { return optimizeConcurrentDownloads_; }
  size_t getMaxDownloadResult() const { return maxDownloadResult_; }
  void setMaxDownloadResult(size_t n) { maxDownloadResult_ = n; }
  int32_t getMaxOverallDownloadSpeedLimit() const { return maxOverallDownloadSpeedLimit_; }
  void setMaxOverallDownloadSpeedLimit(int32_t limit) { maxOverallDownloadSpeedLimit_ = limit; }
  int32_t getMaxOverallUploadSpeedLimit() const { return maxOverallUploadSpeedLimit_; }
  void setMaxOverallUploadSpeedLimit(int32_t limit) { maxOverallUploadSpeedLimit_ = limit; }
  bool isRpcEnabled() const { return rpc_; }

  const std::shared_ptr<ServerStatMan>& getServerStatMan() const { return serverStatMan_; }
  std::shared_ptr<ServerStat> findServerStat(const std::string& hostname,
                                             const std::string& protocol) const;
  // The record of the server, created empty when there is none.
  std::shared_ptr<ServerStat> getOrCreateServerStat(const std::string& hostname,
                                                    const std::string& protocol);
  bool addServerStat(const std::shared_ptr<ServerStat>& serverStat);
  bool loadServerStat(const std::string& filename);
  bool saveServerStat(const std::string& filename) const;
  void removeStaleServerStat(time_t timeout);
  // The hosts that the active downloads' connections use, least used first.
  void getUsedHosts(UsedHosts& usedHosts) const;

  NetStat& getNetStat() { return netStat_; }
  WrDiskCache* getWrDiskCache() const { return wrDiskCache_.get(); }
  DiskWriteQueue* getDiskWriteQueue() const { return diskWriteQueue_.get(); }
  const std::shared_ptr<OpenedFileCounter>& getOpenedFileCounter() const {
    return openedFileCounter_;
  }
  size_t getNumStoppedTotal() const { return numStoppedTotal_; }
  const std::string& getLastSessionHash() const { return lastSessionHash_; }
  void setLastSessionHash(std::string hash) { lastSessionHash_ = std::move(hash); }

 private:
  // The processing of one active download; true when it left the list.
  void updateServerStat(const RequestGroup& group);
  bool processStoppedGroup(DownloadEngine* e, const std::shared_ptr<RequestGroup>& group);
  // False while the stopped download's data is being synced by a worker.
  bool dataSyncedForStop(DownloadEngine* e, const std::shared_ptr<RequestGroup>& group);
  void processFinishedGroup(const std::shared_ptr<RequestGroup>& group);
  void configureRequestGroup(const std::shared_ptr<RequestGroup>& group) const;

  RequestGroupList requestGroups_;
  RequestGroupList reservedGroups_;
  DownloadResultList downloadResults_;
  std::deque<std::shared_ptr<DownloadResult>> unfinishedDownloadResults_;
  int maxConcurrentDownloads_;
  bool optimizeConcurrentDownloads_;
  double optimizeConcurrentDownloadsCoeffA_;
  double optimizeConcurrentDownloadsCoeffB_;
  int32_t optimizationSpeed_;
  Timer optimizationSpeedTimer_;
  size_t numActive_;
  const Option* option_;
  int32_t maxOverallDownloadSpeedLimit_;
  int32_t maxOverallUploadSpeedLimit_;
  NetStat netStat_;
  std::shared_ptr<ServerStatMan> serverStatMan_;
  bool rpc_;
  bool queueCheck_;
  int removedErrorResult_;
  error_code::Value removedLastErrorResult_;
  size_t maxDownloadResult_;
  std::shared_ptr<UriListParser> uriListParser_;
  std::shared_ptr<const DownloadSources> downloadSources_;
  std::unique_ptr<WrDiskCache> wrDiskCache_;
  std::unique_ptr<DiskWriteQueue> diskWriteQueue_;
  std::shared_ptr<OpenedFileCounter> openedFileCounter_;
  size_t numStoppedTotal_;
  std::string lastSessionHash_;
  // Stopped downloads whose data a worker syncs: false while it runs, true
  // once it has run. Declared last, so that the workers are joined first.
  std::unordered_map<GroupId::gid_t, bool> stopSyncs_;
  DiskSyncPool diskSync_{4};
};

}  // namespace quarn
