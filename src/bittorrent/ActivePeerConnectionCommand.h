#pragma once

#include <chrono>
#include <memory>

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class BtAnnounce;
class BtRuntime;
class DownloadEngine;
class PeerStorage;
class PieceStorage;
class RequestGroup;

// Once per interval, starts outgoing connections while the torrent wants
// more peers: too slow or too few while downloading, room and upload
// headroom while seeding.
class ActivePeerConnectionCommand : public Command {
 public:
  static constexpr int NUM_NEW_CONNECTION = 5;

  ActivePeerConnectionCommand(cuid_t cuid, RequestGroup* requestGroup, DownloadEngine* engine,
                              std::chrono::seconds interval);
  ~ActivePeerConnectionCommand() override;

  bool execute() override;
  void makeNewConnections(int num);

  void setBtRuntime(std::shared_ptr<BtRuntime> runtime) { btRuntime_ = std::move(runtime); }
  void setPieceStorage(std::shared_ptr<PieceStorage> storage) {
    pieceStorage_ = std::move(storage);
  }
  void setPeerStorage(std::shared_ptr<PeerStorage> storage) { peerStorage_ = std::move(storage); }
  void setBtAnnounce(std::shared_ptr<BtAnnounce> announce) { btAnnounce_ = std::move(announce); }

 private:
  // How many connections to start now; 0 when the torrent wants none.
  int connectionsWanted() const;

  RequestGroup* requestGroup_;
  std::shared_ptr<BtRuntime> btRuntime_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  std::shared_ptr<PeerStorage> peerStorage_;
  std::shared_ptr<BtAnnounce> btAnnounce_;
  std::chrono::seconds interval_;
  DownloadEngine* engine_;
  Timer checkPoint_;
};

}  // namespace quarn
