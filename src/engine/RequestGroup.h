#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/GroupId.h"
#include "foundation/Time.h"
#include "foundation/error_code.h"
#include "storage/TransferStat.h"

namespace quarn {

class BtProgressInfoFile;
class CheckIntegrityEntry;
class Command;
class DefaultPieceStorage;
class DiskWriterFactory;
class DownloadContext;
class DownloadEngine;
class MetadataInfo;
class Option;
class PieceStorage;
class PostDownloadHandler;
class Dependency;
class PreDownloadHandler;
class RequestGroupMan;
class SegmentMan;
class TorrentSession;
class URISelector;
struct DownloadResult;

// The refusal to start over files that exist without a control file; one
// argument, the download's base path.
extern const char MSG_FILE_EXISTS_WITHOUT_CONTROL_FILE[];

// One download: whatever one URI list, torrent, magnet link or Metalink file
// entry turns into. Shared by its queue manager and every command working for
// it; commands only see flags and end themselves.
class RequestGroup {
 public:
  enum HaltReason { NONE = 0, SHUTDOWN_SIGNAL = 1, USER_REQUEST = 2 };
  enum State { STATE_WAITING = 0, STATE_ACTIVE = 1 };

  RequestGroup(std::shared_ptr<GroupId> gid, std::shared_ptr<Option> option);
  ~RequestGroup();
  RequestGroup(const RequestGroup&) = delete;
  RequestGroup& operator=(const RequestGroup&) = delete;

  const std::shared_ptr<GroupId>& getGroupId() const { return gid_; }
  GroupId::gid_t getGID() const { return gid_->getNumericId(); }
  const std::shared_ptr<Option>& getOption() const { return option_; }

  GroupId::gid_t getBelongsTo() const { return belongsTo_; }
  void setBelongsTo(GroupId::gid_t gid) { belongsTo_ = gid; }

  const std::shared_ptr<DownloadContext>& getDownloadContext() const { return downloadContext_; }
  void setDownloadContext(std::shared_ptr<DownloadContext> downloadContext);

  const std::shared_ptr<PieceStorage>& getPieceStorage() const { return pieceStorage_; }
  void setPieceStorage(std::shared_ptr<PieceStorage> pieceStorage);
  const std::shared_ptr<SegmentMan>& getSegmentMan() const { return segmentMan_; }
  void setSegmentMan(std::shared_ptr<SegmentMan> segmentMan);
  void dropPieceStorage();

  const std::shared_ptr<BtProgressInfoFile>& getProgressInfoFile() const {
    return progressInfoFile_;
  }
  void setProgressInfoFile(std::shared_ptr<BtProgressInfoFile> progressInfoFile);

  const std::shared_ptr<DiskWriterFactory>& getDiskWriterFactory() const {
    return diskWriterFactory_;
  }
  void setDiskWriterFactory(std::shared_ptr<DiskWriterFactory> factory);

  URISelector* getURISelector() const { return uriSelector_.get(); }
  void setURISelector(std::unique_ptr<URISelector> selector);

  // Attach the handlers that "follow-torrent" and "follow-metalink" ask for.
  void initializePreDownloadHandler();
  void initializePostDownloadHandler();
  void addPreDownloadHandler(const PreDownloadHandler* handler);
  void clearPreDownloadHandler() { preDownloadHandlers_.clear(); }
  void addPostDownloadHandler(const PostDownloadHandler* handler);
  void clearPostDownloadHandler() { postDownloadHandlers_.clear(); }
  const std::vector<const PreDownloadHandler*>& getPreDownloadHandlers() const {
    return preDownloadHandlers_;
  }
  const std::vector<const PostDownloadHandler*>& getPostDownloadHandlers() const {
    return postDownloadHandlers_;
  }
  // Runs the first pre-download handler that applies; called once the server
  // has told the file name and size, before data is written.
  void preDownloadProcessing();

  const std::shared_ptr<Option>& getPendingOption() const { return pendingOption_; }
  void setPendingOption(std::shared_ptr<Option> option) { pendingOption_ = std::move(option); }

  const std::shared_ptr<MetadataInfo>& getMetadataInfo() const { return metadataInfo_; }
  void setMetadataInfo(std::shared_ptr<MetadataInfo> info) { metadataInfo_ = std::move(info); }

  RequestGroupMan* getRequestGroupMan() const { return requestGroupMan_; }
  void setRequestGroupMan(RequestGroupMan* rgman);

  const std::vector<GroupId::gid_t>& followedBy() const { return followedBy_; }
  template <typename InputIt>
  void followedBy(InputIt first, InputIt last) {
    followedBy_.clear();
    for (; first != last; ++first) {
      followedBy_.push_back((*first)->getGID());
    }
  }
  GroupId::gid_t following() const { return following_; }
  void following(GroupId::gid_t gid) { following_ = gid; }

  // True without a dependency, else whether the dependency lets the download
  // start now (which may change the download's description).
  bool isDependencyResolved();
  void dependsOn(std::unique_ptr<Dependency> dependency);

  // Decides how the download begins and appends its first commands.
  void createInitialCommand(std::vector<std::unique_ptr<Command>>& commands,
                            DownloadEngine* engine);
  // Appends n new connection commands.
  void createNextCommand(std::vector<std::unique_ptr<Command>>& commands, DownloadEngine* engine,
                         int numCommand);
  // Tops the connection commands up to the wanted number.
  void createNextCommand(std::vector<std::unique_ptr<Command>>& commands, DownloadEngine* engine);
  // The wanted number of connection commands plus the adjustment.
  void createNextCommandWithAdj(std::vector<std::unique_ptr<Command>>& commands,
                                DownloadEngine* engine, int numAdj);
  // Queues the entry for checking when a check is wanted and possible, or
  // lets it go on at once.
  void processCheckIntegrityEntry(std::vector<std::unique_ptr<Command>>& commands,
                                  std::unique_ptr<CheckIntegrityEntry> entry,
                                  DownloadEngine* engine);
  // Opens the output file for downloading: resumed from its control file or,
  // with "continue", from the file itself, else a fresh, truncated file. Call
  // adjustFilename before the piece storage is made. False when nothing is
  // left to do.
  bool openStorage();

  // Storage set-up and the protection of existing files.
  void initPieceStorage();
  void loadAndOpenFile(const std::shared_ptr<BtProgressInfoFile>& progressInfoFile);
  // The check that comes before downloading; none when the file is already
  // complete and verified.
  std::unique_ptr<CheckIntegrityEntry> createCheckIntegrityEntry();
  void adjustFilename(const std::shared_ptr<BtProgressInfoFile>& infoFile);
  void tryAutoFileRenaming();
  void shouldCancelDownloadForSafety();
  void removeDefunctControlFile(const std::shared_ptr<BtProgressInfoFile>& progressInfoFile);
  bool downloadFinishedByFileLength();
  bool isCheckIntegrityReady();
  bool needsFileAllocation() const;

  int64_t getTotalLength() const;
  int64_t getCompletedLength() const;
  bool downloadFinished() const;
  bool allDownloadFinished() const;
  TransferStat calculateStat() const;
  // Client connections plus, for a running torrent, its peer connections.
  int getNumConnection() const;
  bool doesDownloadSpeedExceed();
  bool doesUploadSpeedExceed();
  std::string getFirstFilePath() const;
  bool p2pInvolved() const;
  bool isSeeder() const;

  void increaseStreamConnection() { ++numStreamConnection_; }
  void decreaseStreamConnection() { --numStreamConnection_; }
  int getNumStreamConnection() const { return numStreamConnection_; }
  void increaseStreamCommand() { ++numStreamCommand_; }
  void decreaseStreamCommand() { --numStreamCommand_; }
  int getNumStreamCommand() const { return numStreamCommand_; }
  void increaseNumCommand() { ++numCommand_; }
  void decreaseNumCommand();
  int getNumCommand() const { return numCommand_; }
  void increaseAndValidateFileNotFoundCount();

  void setHaltRequested(bool f, HaltReason reason = NONE);
  void setForceHaltRequested(bool f, HaltReason reason = NONE);
  bool isHaltRequested() const { return haltRequested_; }
  bool isForceHaltRequested() const { return forceHaltRequested_; }
  HaltReason getHaltReason() const { return haltReason_; }
  // Halts a download that the whole process is stopping (signal, --stop,
  // --stop-with-process); one that was still running ends as in progress,
  // whatever its connections reported meanwhile.
  void haltForShutdown(bool force);
  void setPauseRequested(bool f) { pauseRequested_ = f; }
  bool isPauseRequested() const { return pauseRequested_; }
  void setRestartRequested(bool f) { restartRequested_ = f; }
  bool isRestartRequested() const { return restartRequested_; }

  void enableSeedOnly();
  bool isSeedOnlyEnabled() const { return seedOnly_; }

  void saveControlFile() const;
  void removeControlFile() const;
  // After a failure before any byte of content arrived: removes the files
  // this run created, and then the control file. Files that existed before
  // the run stay.
  void removeFilesWithoutContent();
  void closeFile();
  // Writes out the write cache and hands over the descriptors of the files
  // changed since their last sync (see DiskAdaptor::takeUnsyncedDescriptors).
  std::vector<int> takeUnsyncedDescriptors();
  void updateLastModifiedTime(const Time& time);
  const Time& getLastModifiedTime() const { return lastModifiedTime_; }
  void applyLastModifiedTimeToLocalFiles();

  void validateFilename(const std::string& expectedFilename,
                        const std::string& actualFilename) const;
  void validateFilename(const std::string& actualFilename) const;
  void validateTotalLength(int64_t expectedTotalLength, int64_t actualTotalLength) const;
  void validateTotalLength(int64_t actualTotalLength) const;

  std::pair<error_code::Value, std::string> downloadResult() const;
  std::shared_ptr<DownloadResult> createDownloadResult() const;
  void reportDownloadFinished();
  // Runs the first post-download handler that applies to the completed
  // download; groups receives the downloads it describes.
  void postDownloadProcessing(std::vector<std::shared_ptr<RequestGroup>>& groups);
  void releaseRuntimeResource(DownloadEngine* engine);

  void setLastErrorCode(error_code::Value code, const std::string& message = "") {
    lastErrorCode_ = code;
    lastErrorMessage_ = message;
  }
  error_code::Value getLastErrorCode() const { return lastErrorCode_; }
  const std::string& getLastErrorMessage() const { return lastErrorMessage_; }

  State getState() const { return state_; }
  void setState(State state) { state_ = state; }
  int64_t getTimeout() const { return timeout_; }
  void setTimeout(int64_t seconds) { timeout_ = seconds; }
  int getMaxConcurrentCommands() const { return maxConcurrentCommands_; }
  void setMaxConcurrentCommands(int n) { maxConcurrentCommands_ = n; }
  int32_t getMaxDownloadSpeedLimit() const { return maxDownloadSpeedLimit_; }
  void setMaxDownloadSpeedLimit(int32_t limit) { maxDownloadSpeedLimit_ = limit; }
  int32_t getMaxUploadSpeedLimit() const { return maxUploadSpeedLimit_; }
  void setMaxUploadSpeedLimit(int32_t limit) { maxUploadSpeedLimit_ = limit; }
  int getResumeFailureCount() const { return resumeFailureCount_; }
  void increaseResumeFailureCount() { ++resumeFailureCount_; }

  bool isSaveControlFileEnabled() const { return saveControlFile_; }
  void setSaveControlFile(bool f) { saveControlFile_ = f; }
  bool isFileAllocationEnabled() const { return fileAllocationEnabled_; }
  void setFileAllocationEnabled(bool f) { fileAllocationEnabled_ = f; }
  bool isLocalFileCheckEnabled() const { return localFileCheckEnabled_; }
  void setLocalFileCheckEnabled(bool f) { localFileCheckEnabled_ = f; }
  bool inMemoryDownload() const { return inMemoryDownload_; }
  void markInMemoryDownload();

  // The running torrent of a BitTorrent download, from its start until it
  // leaves the active list; null otherwise.
  TorrentSession* getTorrentSession() const { return torrentSession_.get(); }
  void setTorrentSession(std::unique_ptr<TorrentSession> session);

  // Fails with "not enough disk space" when the rest of the download cannot
  // fit on its file systems, before any space is reserved.
  void ensureDiskSpace() const;

 private:
  void setUpTorrentPieceSelector(DefaultPieceStorage& ps);
  void createInitialBtCommand(std::vector<std::unique_ptr<Command>>& commands,
                              DownloadEngine* engine);
  void createInitialSingleFileCommand(std::vector<std::unique_ptr<Command>>& commands,
                                      DownloadEngine* engine);
  void createInitialMultiFileCommand(std::vector<std::unique_ptr<Command>>& commands,
                                     DownloadEngine* engine);
  std::unique_ptr<CheckIntegrityEntry> makeRedownloadingChecksumEntry();

  GroupId::gid_t belongsTo_;
  std::shared_ptr<GroupId> gid_;
  std::shared_ptr<Option> option_;
  std::shared_ptr<Option> pendingOption_;
  std::shared_ptr<SegmentMan> segmentMan_;
  std::shared_ptr<DownloadContext> downloadContext_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  std::shared_ptr<BtProgressInfoFile> progressInfoFile_;
  std::shared_ptr<DiskWriterFactory> diskWriterFactory_;
  std::shared_ptr<MetadataInfo> metadataInfo_;
  std::unique_ptr<URISelector> uriSelector_;
  std::vector<const PreDownloadHandler*> preDownloadHandlers_;
  std::vector<const PostDownloadHandler*> postDownloadHandlers_;
  std::unique_ptr<Dependency> dependency_;
  RequestGroupMan* requestGroupMan_;
  std::unique_ptr<TorrentSession> torrentSession_;
  // Kept past the session, for the download's result.
  std::string infoHash_;
  int64_t uploadLengthAtStartup_ = 0;
  std::vector<GroupId::gid_t> followedBy_;
  GroupId::gid_t following_;
  Time lastModifiedTime_;
  int64_t timeout_;
  State state_;
  int maxConcurrentCommands_;
  int numStreamConnection_;
  bool stoppedWhileRunning_ = false;
  int numStreamCommand_;
  int numCommand_;
  int fileNotFoundCount_;
  int32_t maxDownloadSpeedLimit_;
  int32_t maxUploadSpeedLimit_;
  int resumeFailureCount_;
  HaltReason haltReason_;
  error_code::Value lastErrorCode_;
  std::string lastErrorMessage_;
  // Whether each output path existed when the storage was first made.
  std::map<std::string, bool> existedBeforeRun_;
  bool saveControlFile_;
  bool fileAllocationEnabled_;
  bool localFileCheckEnabled_;
  bool haltRequested_;
  bool forceHaltRequested_;
  bool pauseRequested_;
  bool restartRequested_;
  bool inMemoryDownload_;
  bool seedOnly_;
};

}  // namespace quarn
