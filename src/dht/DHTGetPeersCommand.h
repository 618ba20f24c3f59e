#pragma once

#include <memory>

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class BtRuntime;
class DHTTask;
class DHTTaskFactory;
class DHTTaskQueue;
class DownloadEngine;
class PeerStorage;
class RequestGroup;

// Looks for one torrent's peers in the DHT while the torrent runs: every 15
// minutes, every 5 while it is short of peers, soon again (up to ten times in
// a row) after a lookup that found too few, and at least every minute while
// it has no connection at all.
class DHTGetPeersCommand : public Command {
 public:
  DHTGetPeersCommand(cuid_t cuid, RequestGroup* requestGroup, DownloadEngine* e);
  ~DHTGetPeersCommand() override;

  bool execute() override;
  // One turn without re-queueing: true when the torrent has halted.
  bool step();

  void setTaskQueue(DHTTaskQueue* taskQueue) { taskQueue_ = taskQueue; }
  void setTaskFactory(DHTTaskFactory* taskFactory) { taskFactory_ = taskFactory; }
  void setBtRuntime(std::shared_ptr<BtRuntime> runtime) { btRuntime_ = std::move(runtime); }
  void setPeerStorage(std::shared_ptr<PeerStorage> storage) { peerStorage_ = std::move(storage); }

  int getRetries() const { return numRetry_; }
  bool hasTask() const { return static_cast<bool>(task_); }

 private:
  bool lookupDue(std::chrono::nanoseconds elapsed) const;
  void issueLookup();
  void onLookupFinished();

  RequestGroup* requestGroup_;
  std::shared_ptr<BtRuntime> btRuntime_;
  std::shared_ptr<PeerStorage> peerStorage_;
  DownloadEngine* e_;
  DHTTaskQueue* taskQueue_ = nullptr;
  DHTTaskFactory* taskFactory_ = nullptr;
  std::shared_ptr<DHTTask> task_;
  int numRetry_ = 0;
  Timer lastGetPeerTime_ = Timer::zero();
};

}  // namespace quarn
