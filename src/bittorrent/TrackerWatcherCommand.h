#pragma once

#include <memory>
#include <string>

#include "engine/Command.h"

namespace quarn {

class AnnRequest;
class BtAnnounce;
class BtRuntime;
class DownloadEngine;
class PeerStorage;
class PieceStorage;
class RequestGroup;
class UDPTrackerClient;

// Drives a torrent's announces: at most one tracker request at a time, its
// answer handed to the announcer, and new peer connections after a
// successful announce. It outlives the torrent's halt until every tier that
// was told "started" has been told "stopped" (or gave up).
class TrackerWatcherCommand : public Command {
 public:
  TrackerWatcherCommand(cuid_t cuid, RequestGroup* requestGroup, DownloadEngine* e);
  ~TrackerWatcherCommand() override;

  bool execute() override;

  void setBtRuntime(std::shared_ptr<BtRuntime> runtime) { btRuntime_ = std::move(runtime); }
  void setPeerStorage(std::shared_ptr<PeerStorage> storage) { peerStorage_ = std::move(storage); }
  void setPieceStorage(std::shared_ptr<PieceStorage> storage) {
    pieceStorage_ = std::move(storage);
  }
  void setBtAnnounce(std::shared_ptr<BtAnnounce> announce) { btAnnounce_ = std::move(announce); }

  // The request in flight, if any (tests look at it).
  AnnRequest* getTrackerRequest() const { return trackerRequest_.get(); }

 private:
  // The next due announce, started; none when nothing is due.
  std::unique_ptr<AnnRequest> createAnnounce();
  std::unique_ptr<AnnRequest> createHTTPAnnRequest(const std::string& uri);
  // Reports the finished request to the announcer and drops it.
  void finishRequest();
  void addConnection();

  RequestGroup* requestGroup_;
  DownloadEngine* e_;
  std::shared_ptr<UDPTrackerClient> udpTrackerClient_;
  std::shared_ptr<BtRuntime> btRuntime_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  std::shared_ptr<PeerStorage> peerStorage_;
  std::shared_ptr<BtAnnounce> btAnnounce_;
  std::unique_ptr<AnnRequest> trackerRequest_;
};

}  // namespace quarn
