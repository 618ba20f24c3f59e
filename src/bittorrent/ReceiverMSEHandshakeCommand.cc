#include "bittorrent/ReceiverMSEHandshakeCommand.h"

#include <vector>

#include "bittorrent/ARC4Encryptor.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/MSEHandshake.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/PeerReceiveHandshakeCommand.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DlAbortEx.h"
#include "storage/DownloadContext.h"

namespace quarn {

ReceiverMSEHandshakeCommand::ReceiverMSEHandshakeCommand(cuid_t cuid, std::shared_ptr<Peer> peer,
                                                         DownloadEngine* engine,
                                                         std::shared_ptr<SocketCore> socket)
    : PeerAbstractCommand(cuid, std::move(peer), engine, std::move(socket)),
      mseHandshake_(std::make_unique<MSEHandshake>(cuid, getSocket(), engine->getOption())) {
  setTimeout(std::chrono::seconds(engine->getOption()->getAsInt(PREF_PEER_CONNECTION_TIMEOUT)));
  mseHandshake_->setWantRead(true);
}

ReceiverMSEHandshakeCommand::~ReceiverMSEHandshakeCommand() = default;

bool ReceiverMSEHandshakeCommand::exitBeforeExecute() {
  auto* man = getDownloadEngine()->getRequestGroupMan();
  return getDownloadEngine()->isHaltRequested() ||
         (man && man->countRequestGroup() == 0 && man->getReservedGroups().empty());
}

bool ReceiverMSEHandshakeCommand::executeInternal() {
  if (mseHandshake_->getWantRead()) {
    mseHandshake_->read();
  }
  if (step()) {
    return true;
  }
  checkSocketFor(mseHandshake_->getWantRead(), mseHandshake_->getWantWrite());
  addCommandSelf();
  return false;
}

bool ReceiverMSEHandshakeCommand::step() {
  const Option* option = getDownloadEngine()->getOption();
  while (true) {
    switch (sequence_) {
      case RECEIVER_IDENTIFY_HANDSHAKE:
        switch (mseHandshake_->identifyHandshakeType()) {
          case MSEHandshake::HANDSHAKE_NOT_YET:
            return false;
          case MSEHandshake::HANDSHAKE_ENCRYPTED:
            mseHandshake_->initEncryptionFacility(false);
            sequence_ = RECEIVER_WAIT_KEY;
            break;
          case MSEHandshake::HANDSHAKE_LEGACY:
            if (option->getAsBool(PREF_BT_FORCE_ENCRYPTION) ||
                option->getAsBool(PREF_BT_REQUIRE_CRYPTO)) {
              throw DL_ABORT_EX(
                  "The legacy BitTorrent handshake is not acceptable by the preference.");
            }
            handOverPlain();
            return true;
          default:
            throw DL_ABORT_EX("Not supported handshake type.");
        }
        break;
      case RECEIVER_WAIT_KEY:
        if (!mseHandshake_->receivePublicKey()) {
          return false;
        }
        mseHandshake_->sendPublicKey();
        sequence_ = RECEIVER_SEND_KEY_PENDING;
        break;
      case RECEIVER_SEND_KEY_PENDING:
        if (!mseHandshake_->send()) {
          return false;
        }
        sequence_ = RECEIVER_FIND_HASH_MARKER;
        break;
      case RECEIVER_FIND_HASH_MARKER:
        if (!mseHandshake_->findReceiverHashMarker()) {
          return false;
        }
        sequence_ = RECEIVER_RECEIVE_PAD_C_LENGTH;
        break;
      case RECEIVER_RECEIVE_PAD_C_LENGTH: {
        auto* registry = getDownloadEngine()->getService<BtRegistry>();
        const auto contexts = registry ? registry->getAllDownloadContext()
                                       : std::vector<std::shared_ptr<DownloadContext>>();
        if (!mseHandshake_->receiveReceiverHashAndPadCLength(contexts)) {
          return false;
        }
        sequence_ = RECEIVER_RECEIVE_PAD_C;
        break;
      }
      case RECEIVER_RECEIVE_PAD_C:
        if (!mseHandshake_->receivePad()) {
          return false;
        }
        sequence_ = RECEIVER_RECEIVE_IA_LENGTH;
        break;
      case RECEIVER_RECEIVE_IA_LENGTH:
        if (!mseHandshake_->receiveReceiverIALength()) {
          return false;
        }
        sequence_ = RECEIVER_RECEIVE_IA;
        break;
      case RECEIVER_RECEIVE_IA:
        if (!mseHandshake_->receiveReceiverIA()) {
          return false;
        }
        mseHandshake_->sendReceiverStep2();
        sequence_ = RECEIVER_SEND_STEP2_PENDING;
        break;
      case RECEIVER_SEND_STEP2_PENDING:
        if (!mseHandshake_->send()) {
          return false;
        }
        createCommand();
        return true;
    }
  }
}

void ReceiverMSEHandshakeCommand::handOverPlain() {
  auto connection = std::make_unique<PeerConnection>(getCuid(), getPeer(), getSocket());
  // Everything read so far: the handshake and maybe the first messages
  // behind it, which the connection keeps for its framing.
  connection->presetBuffer(mseHandshake_->getBuffer(), mseHandshake_->getBufferLength());
  getDownloadEngine()->addCommand(std::make_unique<PeerReceiveHandshakeCommand>(
      getCuid(), getPeer(), getDownloadEngine(), getSocket(), std::move(connection)));
}

void ReceiverMSEHandshakeCommand::createCommand() {
  auto connection = std::make_unique<PeerConnection>(getCuid(), getPeer(), getSocket());
  // The initiator may have sent more of its stream in the read that carried
  // the IA; those bytes follow the IA, decrypted like the rest of an RC4
  // stream.
  std::vector<unsigned char> stream(mseHandshake_->getIA(),
                                    mseHandshake_->getIA() + mseHandshake_->getIALength());
  const size_t iaLength = stream.size();
  stream.insert(stream.end(), mseHandshake_->getBuffer(),
                mseHandshake_->getBuffer() + mseHandshake_->getBufferLength());
  if (mseHandshake_->getNegotiatedCryptoType() == MSEHandshake::CRYPTO_ARC4) {
    auto decryptor = mseHandshake_->popDecryptor();
    decryptor->encrypt(stream.size() - iaLength, stream.data() + iaLength,
                       stream.data() + iaLength);
    connection->enableEncryption(mseHandshake_->popEncryptor(), std::move(decryptor));
  }
  connection->presetBuffer(stream.data(), stream.size());
  getDownloadEngine()->addCommand(std::make_unique<PeerReceiveHandshakeCommand>(
      getCuid(), getPeer(), getDownloadEngine(), getSocket(), std::move(connection)));
}

}  // namespace quarn
