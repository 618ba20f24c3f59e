#pragma once

#include <memory>

#include "bittorrent/PeerAbstractCommand.h"

namespace quarn {

class BtRuntime;
class DefaultBtInteractive;
class Option;
class PeerConnection;
class PeerStorage;
class PieceStorage;
class RequestGroup;

// Owns one peer connection from its set-up to its end: the handshakes, then
// one turn of the per-peer interaction whenever the socket is ready.
class PeerInteractionCommand : public PeerAbstractCommand {
 public:
  enum Seq { SEND_HANDSHAKE, AWAIT_HANDSHAKE, AWAIT_AND_REPLY_HANDSHAKE, CONNECTED };

  PeerInteractionCommand(cuid_t cuid, RequestGroup* requestGroup, std::shared_ptr<Peer> peer,
                         DownloadEngine* engine, std::shared_ptr<BtRuntime> btRuntime,
                         std::shared_ptr<PieceStorage> pieceStorage,
                         std::shared_ptr<PeerStorage> peerStorage,
                         std::shared_ptr<SocketCore> socket, Seq sequence,
                         std::unique_ptr<PeerConnection> peerConnection = nullptr);
  ~PeerInteractionCommand() override;

 protected:
  bool executeInternal() override;
  bool prepareForNextPeer(std::chrono::seconds wait) override;
  void onAbort() override;
  void onFailure(const DownloadFailureException& ex) override;
  bool exitBeforeExecute() override;

 private:
  const Option& getOption() const;
  void wire(std::unique_ptr<PeerConnection> peerConnection);
  bool downloadLimitExceeded() const;
  bool uploadLimitExceeded() const;

  RequestGroup* requestGroup_;
  std::shared_ptr<BtRuntime> btRuntime_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  std::shared_ptr<PeerStorage> peerStorage_;
  Seq sequence_;
  std::unique_ptr<DefaultBtInteractive> btInteractive_;
};

}  // namespace quarn
