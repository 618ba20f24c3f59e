#pragma once

#include <memory>

#include "bittorrent/PeerAbstractCommand.h"

namespace quarn {

class PeerConnection;

// An incoming plain connection: reads the peer's handshake far enough to
// find the torrent by its info hash, then hands the connection to the peer
// interaction command of that torrent.
class PeerReceiveHandshakeCommand : public PeerAbstractCommand {
 public:
  PeerReceiveHandshakeCommand(cuid_t cuid, std::shared_ptr<Peer> peer, DownloadEngine* engine,
                              std::shared_ptr<SocketCore> socket,
                              std::unique_ptr<PeerConnection> connection = nullptr);
  ~PeerReceiveHandshakeCommand() override;

 protected:
  bool executeInternal() override;
  bool exitBeforeExecute() override;

 private:
  std::unique_ptr<PeerConnection> peerConnection_;
};

}  // namespace quarn
