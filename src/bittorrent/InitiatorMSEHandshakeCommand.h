#pragma once

#include <memory>

#include "bittorrent/PeerAbstractCommand.h"

namespace quarn {

class BtRuntime;
class MSEHandshake;
class Option;
class PeerStorage;
class PieceStorage;
class RequestGroup;

// Drives the encrypted handshake over an outgoing connection, then hands the
// connection (with its ciphers in RC4 mode) to the peer interaction command.
// A peer that breaks off the handshake after the connection was made is
// retried with the plain handshake unless encryption is required.
class InitiatorMSEHandshakeCommand : public PeerAbstractCommand {
 public:
  enum Seq {
    INITIATOR_SEND_KEY,
    INITIATOR_SEND_KEY_PENDING,
    INITIATOR_WAIT_KEY,
    INITIATOR_SEND_STEP2_PENDING,
    INITIATOR_FIND_VC_MARKER,
    INITIATOR_RECEIVE_PAD_D_LENGTH,
    INITIATOR_RECEIVE_PAD_D,
  };

  InitiatorMSEHandshakeCommand(cuid_t cuid, RequestGroup* requestGroup, std::shared_ptr<Peer> peer,
                               DownloadEngine* engine, std::shared_ptr<BtRuntime> btRuntime,
                               std::shared_ptr<SocketCore> socket);
  ~InitiatorMSEHandshakeCommand() override;

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
  // Runs the steps that can complete now; true once the handshake is done.
  bool step();
  void handOver();
  void tryNewPeer();
  bool plainRetryAllowed() const;
  const Option& getOption() const;

  RequestGroup* requestGroup_;
  std::shared_ptr<BtRuntime> btRuntime_;
  std::shared_ptr<PeerStorage> peerStorage_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  Seq sequence_ = INITIATOR_SEND_KEY;
  std::unique_ptr<MSEHandshake> mseHandshake_;
};

}  // namespace quarn
