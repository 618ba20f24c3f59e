#pragma once

#include <memory>

#include "bittorrent/PeerAbstractCommand.h"

namespace quarn {

class MSEHandshake;

// Runs on every accepted connection: tells a plain handshake from an
// encrypted one, completes the encrypted handshake when there is one, and
// hands the connection to the plain handshake receiver with every byte of
// the peer wire stream read so far.
class ReceiverMSEHandshakeCommand : public PeerAbstractCommand {
 public:
  enum Seq {
    RECEIVER_IDENTIFY_HANDSHAKE,
    RECEIVER_WAIT_KEY,
    RECEIVER_SEND_KEY_PENDING,
    RECEIVER_FIND_HASH_MARKER,
    RECEIVER_RECEIVE_PAD_C_LENGTH,
    RECEIVER_RECEIVE_PAD_C,
    RECEIVER_RECEIVE_IA_LENGTH,
    RECEIVER_RECEIVE_IA,
    RECEIVER_SEND_STEP2_PENDING,
  };

  ReceiverMSEHandshakeCommand(cuid_t cuid, std::shared_ptr<Peer> peer, DownloadEngine* engine,
                              std::shared_ptr<SocketCore> socket);
  ~ReceiverMSEHandshakeCommand() override;

 protected:
  bool executeInternal() override;
  bool exitBeforeExecute() override;

 private:
  // Runs the steps that can complete now; true once the command is done.
  bool step();
  void handOverPlain();
  void createCommand();

  Seq sequence_ = RECEIVER_IDENTIFY_HANDSHAKE;
  std::unique_ptr<MSEHandshake> mseHandshake_;
};

}  // namespace quarn
