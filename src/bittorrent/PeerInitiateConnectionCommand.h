#pragma once

#include <memory>

#include "bittorrent/PeerAbstractCommand.h"

namespace quarn {

class BtRuntime;
class PeerStorage;
class PieceStorage;
class RequestGroup;

// Opens one outgoing connection to a peer and hands it to the encrypted
// handshake initiator or, for a peer retried in plain, straight to the peer
// interaction command.
class PeerInitiateConnectionCommand : public PeerAbstractCommand {
 public:
  PeerInitiateConnectionCommand(cuid_t cuid, RequestGroup* requestGroup, std::shared_ptr<Peer> peer,
                                DownloadEngine* engine, std::shared_ptr<BtRuntime> btRuntime,
                                bool useEncryptedHandshake = true);
  ~PeerInitiateConnectionCommand() override;

  // After a failed connection: starts one to another waiting peer while the
  // torrent is below its minimum of connections.
  static void startReplacement(DownloadEngine* engine, RequestGroup* requestGroup,
                               const std::shared_ptr<BtRuntime>& btRuntime,
                               const std::shared_ptr<PeerStorage>& peerStorage,
                               const std::shared_ptr<PieceStorage>& pieceStorage);

  void setPeerStorage(std::shared_ptr<PeerStorage> storage) { peerStorage_ = std::move(storage); }
  void setPieceStorage(std::shared_ptr<PieceStorage> storage) {
    pieceStorage_ = std::move(storage);
  }

 protected:
  bool executeInternal() override;
  bool prepareForNextPeer(std::chrono::seconds wait) override;
  void onAbort() override;
  bool exitBeforeExecute() override;

 private:
  RequestGroup* requestGroup_;
  std::shared_ptr<BtRuntime> btRuntime_;
  std::shared_ptr<PeerStorage> peerStorage_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  bool useEncryptedHandshake_;
};

}  // namespace quarn
