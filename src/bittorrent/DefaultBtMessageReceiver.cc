#include "bittorrent/DefaultBtMessageReceiver.h"

#include <cstring>

#include "bittorrent/BtHandshakeMessage.h"
#include "bittorrent/BtMessageDispatcher.h"
#include "bittorrent/BtMessageFactory.h"
#include "bittorrent/BtPieceMessage.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/peer_identity.h"
#include "bittorrent/torrent_reader.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {
constexpr size_t INFO_HASH_END = 48;
constexpr size_t INFO_HASH_BEGIN = 28;
}  // namespace

void DefaultBtMessageReceiver::sendHandshake() {
  dispatcher_->addMessageToQueue(messageFactory_->createHandshakeMessage(
      bittorrent::getInfoHash(downloadContext_), bittorrent::getStaticPeerId()));
  dispatcher_->sendMessages();
}

std::unique_ptr<BtHandshakeMessage> DefaultBtMessageReceiver::receiveHandshake(bool quickReply) {
  QLOG_DEBUG(fmt("Receiving handshake bufferLength=%lu",
                 static_cast<unsigned long>(peerConnection_->getBufferLength())));
  unsigned char data[BtHandshakeMessage::MESSAGE_LENGTH];
  size_t dataLength = sizeof(data);
  if (!handshakeSent_ && quickReply && peerConnection_->getBufferLength() < INFO_HASH_END) {
    // Read without taking, so that a handshake arriving whole still gets
    // our answer before it is taken.
    peerConnection_->receiveHandshake(data, dataLength, true);
    dataLength = sizeof(data);
  }
  if (!handshakeSent_ && quickReply && peerConnection_->getBufferLength() >= INFO_HASH_END) {
    handshakeSent_ = true;
    const unsigned char* received = peerConnection_->getBuffer() + INFO_HASH_BEGIN;
    if (std::memcmp(bittorrent::getInfoHash(downloadContext_), received, 20) != 0) {
      throw DL_ABORT_EX(fmt("Bad Info Hash %s", util::toHex(received, 20).c_str()));
    }
    sendHandshake();
    if (peerConnection_->getBufferLength() < BtHandshakeMessage::MESSAGE_LENGTH ||
        !peerConnection_->receiveHandshake(data, dataLength)) {
      return nullptr;
    }
  } else if (!peerConnection_->receiveHandshake(data, dataLength)) {
    return nullptr;
  }
  auto message = messageFactory_->createHandshakeMessage(data, dataLength);
  message->validate();
  return message;
}

std::unique_ptr<BtHandshakeMessage> DefaultBtMessageReceiver::receiveAndSendHandshake() {
  return receiveHandshake(true);
}

std::unique_ptr<BtMessage> DefaultBtMessageReceiver::receiveMessage() {
  size_t length = 0;
  if (!peerConnection_->receiveMessage(nullptr, length)) {
    return nullptr;
  }
  const unsigned char* payload = peerConnection_->getMsgPayloadBuffer();
  auto message = messageFactory_->createBtMessage(payload, length);
  message->validate();
  if (length > 0 && payload[0] == BtPieceMessage::ID) {
    // The block stays in the receive buffer until the message is handled.
    static_cast<BtPieceMessage*>(message.get())->setMsgPayload(payload);
  }
  return message;
}

}  // namespace quarn
