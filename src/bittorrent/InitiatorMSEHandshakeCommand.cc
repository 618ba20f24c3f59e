#include "bittorrent/InitiatorMSEHandshakeCommand.h"

#include <vector>

#include "bittorrent/ARC4Encryptor.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/MSEHandshake.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/PeerInitiateConnectionCommand.h"
#include "bittorrent/PeerInteractionCommand.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "net/SocketCore.h"
#include "storage/DownloadContext.h"

namespace quarn {

InitiatorMSEHandshakeCommand::InitiatorMSEHandshakeCommand(cuid_t cuid, RequestGroup* requestGroup,
                                                           std::shared_ptr<Peer> peer,
                                                           DownloadEngine* engine,
                                                           std::shared_ptr<BtRuntime> btRuntime,
                                                           std::shared_ptr<SocketCore> socket)
    : PeerAbstractCommand(cuid, std::move(peer), engine, std::move(socket)),
      requestGroup_(requestGroup),
      btRuntime_(std::move(btRuntime)),
      mseHandshake_(std::make_unique<MSEHandshake>(cuid, getSocket(), &getOption())) {
  // The connect completes when the socket becomes writable.
  disableReadCheckSocket();
  setWriteCheckSocket(getSocket());
  setTimeout(std::chrono::seconds(getOption().getAsInt(PREF_PEER_CONNECTION_TIMEOUT)));
  btRuntime_->increaseConnections();
  requestGroup_->increaseNumCommand();
}

InitiatorMSEHandshakeCommand::~InitiatorMSEHandshakeCommand() {
  requestGroup_->decreaseNumCommand();
  btRuntime_->decreaseConnections();
}

const Option& InitiatorMSEHandshakeCommand::getOption() const {
  return *requestGroup_->getOption();
}

bool InitiatorMSEHandshakeCommand::executeInternal() {
  if (mseHandshake_->getWantRead()) {
    mseHandshake_->read();
  }
  if (step()) {
    handOver();
    return true;
  }
  if (sequence_ != INITIATOR_SEND_KEY) {
    checkSocketFor(mseHandshake_->getWantRead(), mseHandshake_->getWantWrite());
  }
  addCommandSelf();
  return false;
}

bool InitiatorMSEHandshakeCommand::step() {
  while (true) {
    switch (sequence_) {
      case INITIATOR_SEND_KEY:
        if (!getSocket()->isWritable(0)) {
          return false;
        }
        setTimeout(std::chrono::seconds(getOption().getAsInt(PREF_BT_TIMEOUT)));
        mseHandshake_->initEncryptionFacility(true);
        mseHandshake_->sendPublicKey();
        sequence_ = INITIATOR_SEND_KEY_PENDING;
        break;
      case INITIATOR_SEND_KEY_PENDING:
        if (!mseHandshake_->send()) {
          return false;
        }
        sequence_ = INITIATOR_WAIT_KEY;
        break;
      case INITIATOR_WAIT_KEY:
        if (!mseHandshake_->receivePublicKey()) {
          return false;
        }
        mseHandshake_->initCipher(bittorrent::getInfoHash(requestGroup_->getDownloadContext()));
        mseHandshake_->sendInitiatorStep2();
        sequence_ = INITIATOR_SEND_STEP2_PENDING;
        break;
      case INITIATOR_SEND_STEP2_PENDING:
        if (!mseHandshake_->send()) {
          return false;
        }
        sequence_ = INITIATOR_FIND_VC_MARKER;
        break;
      case INITIATOR_FIND_VC_MARKER:
        if (!mseHandshake_->findInitiatorVCMarker()) {
          return false;
        }
        sequence_ = INITIATOR_RECEIVE_PAD_D_LENGTH;
        break;
      case INITIATOR_RECEIVE_PAD_D_LENGTH:
        if (!mseHandshake_->receiveInitiatorCryptoSelectAndPadDLength()) {
          return false;
        }
        sequence_ = INITIATOR_RECEIVE_PAD_D;
        break;
      case INITIATOR_RECEIVE_PAD_D:
        return mseHandshake_->receivePad();
    }
  }
}

void InitiatorMSEHandshakeCommand::handOver() {
  auto connection = std::make_unique<PeerConnection>(getCuid(), getPeer(), getSocket());
  // The peer may already have sent the start of its stream behind PadD.
  std::vector<unsigned char> rest(mseHandshake_->getBuffer(),
                                  mseHandshake_->getBuffer() + mseHandshake_->getBufferLength());
  if (mseHandshake_->getNegotiatedCryptoType() == MSEHandshake::CRYPTO_ARC4) {
    auto decryptor = mseHandshake_->popDecryptor();
    decryptor->encrypt(rest.size(), rest.data(), rest.data());
    connection->presetBuffer(rest.data(), rest.size());
    connection->enableEncryption(mseHandshake_->popEncryptor(), std::move(decryptor));
  } else {
    connection->presetBuffer(rest.data(), rest.size());
  }
  getDownloadEngine()->addCommand(std::make_unique<PeerInteractionCommand>(
      getCuid(), requestGroup_, getPeer(), getDownloadEngine(), btRuntime_, pieceStorage_,
      peerStorage_, getSocket(), PeerInteractionCommand::SEND_HANDSHAKE, std::move(connection)));
}

bool InitiatorMSEHandshakeCommand::plainRetryAllowed() const {
  // A halted torrent starts nothing new, not even a retry.
  return sequence_ != INITIATOR_SEND_KEY && !btRuntime_->isHalt() &&
         !getOption().getAsBool(PREF_BT_FORCE_ENCRYPTION) &&
         !getOption().getAsBool(PREF_BT_REQUIRE_CRYPTO);
}

void InitiatorMSEHandshakeCommand::onAbort() {
  // A peer retried in plain stays checked out for the same connection id.
  if (!plainRetryAllowed()) {
    peerStorage_->returnPeer(getPeer());
  }
}

bool InitiatorMSEHandshakeCommand::prepareForNextPeer(std::chrono::seconds) {
  const long long cuid = static_cast<long long>(getCuid());
  if (plainRetryAllowed()) {
    QLOG_INFO(fmt("CUID#%lld - Retry using legacy BitTorrent handshake.", cuid));
    auto command = std::make_unique<PeerInitiateConnectionCommand>(
        getCuid(), requestGroup_, getPeer(), getDownloadEngine(), btRuntime_, false);
    command->setPeerStorage(peerStorage_);
    command->setPieceStorage(pieceStorage_);
    getDownloadEngine()->addCommand(std::move(command));
    return true;
  }
  if (sequence_ != INITIATOR_SEND_KEY) {
    QLOG_INFO(
        fmt("CUID#%lld - Establishing connection using legacy BitTorrent handshake is "
            "disabled by preference.",
            cuid));
  }
  tryNewPeer();
  return true;
}

void InitiatorMSEHandshakeCommand::tryNewPeer() {
  PeerInitiateConnectionCommand::startReplacement(getDownloadEngine(), requestGroup_, btRuntime_,
                                                  peerStorage_, pieceStorage_);
}

bool InitiatorMSEHandshakeCommand::exitBeforeExecute() {
  return btRuntime_->isHalt();
}

}  // namespace quarn
