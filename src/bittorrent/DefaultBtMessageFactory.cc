#include "bittorrent/DefaultBtMessageFactory.h"

#include <span>

#include "bittorrent/BtBitfieldMessage.h"
#include "bittorrent/BtExtendedMessage.h"
#include "bittorrent/BtHandshakeMessage.h"
#include "bittorrent/BtKeepAliveMessage.h"
#include "bittorrent/BtPieceMessage.h"
#include "bittorrent/BtPortMessage.h"
#include "bittorrent/IndexBtMessage.h"
#include "bittorrent/Peer.h"
#include "bittorrent/RangeBtMessage.h"
#include "bittorrent/ZeroBtMessage.h"
#include "bittorrent/message_validators.h"
#include "bittorrent/torrent_reader.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "storage/DownloadContext.h"
#include "storage/Piece.h"
#include "storage/PieceStorage.h"

namespace quarn {

namespace {

std::span<const std::byte> asSpan(const unsigned char* data, size_t length) {
  return {reinterpret_cast<const std::byte*>(data), length};
}

}  // namespace

void DefaultBtMessageFactory::setCommonProperty(AbstractBtMessage& message) {
  message.setCuid(cuid_);
  message.setPeer(peer_);
  message.setPieceStorage(pieceStorage_);
  message.setBtMessageDispatcher(dispatcher_);
  message.setBtRequestFactory(requestFactory_);
  message.setBtMessageFactory(this);
  message.setPeerConnection(peerConnection_);
  if (metadataGetMode_) {
    message.enableMetadataGetMode();
  }
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createBtMessage(const unsigned char* payload,
                                                                    size_t length) {
  return decode(payload, length);
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::decode(const unsigned char* payload,
                                                           size_t length) {
  if (length == 0) {
    return wire(std::make_unique<BtKeepAliveMessage>());
  }
  const auto data = asSpan(payload, length);
  const bool validate = !metadataGetMode_;
  const size_t numPieces = validate ? downloadContext_->getNumPieces() : 0;
  // The validators' bounds come from the torrent, never from the peer.
  auto withIndex = [&](auto message) {
    if (validate) {
      message->setBtMessageValidator(
          std::make_unique<IndexBtMessageValidator>(message.get(), numPieces));
    }
    return wire(std::move(message));
  };
  auto withRange = [&](auto message) {
    if (validate) {
      message->setBtMessageValidator(std::make_unique<RangeBtMessageValidator>(
          message.get(), numPieces, pieceStorage_->getPieceLength(message->getIndex())));
    }
    return wire(std::move(message));
  };
  switch (payload[0]) {
    case BtChokeMessage::ID:
      return wire(BtChokeMessage::create(data));
    case BtUnchokeMessage::ID:
      return wire(BtUnchokeMessage::create(data));
    case BtInterestedMessage::ID: {
      auto m = BtInterestedMessage::create(data);
      m->setPeerStorage(peerStorage_);
      return wire(std::move(m));
    }
    case BtNotInterestedMessage::ID: {
      auto m = BtNotInterestedMessage::create(data);
      m->setPeerStorage(peerStorage_);
      return wire(std::move(m));
    }
    case BtHaveMessage::ID:
      return withIndex(BtHaveMessage::create(data));
    case BtBitfieldMessage::ID: {
      auto m = BtBitfieldMessage::create(data);
      if (validate) {
        m->setBtMessageValidator(std::make_unique<BtBitfieldMessageValidator>(m.get(), numPieces));
      }
      return wire(std::move(m));
    }
    case BtRequestMessage::ID:
      return withRange(BtRequestMessage::create(data));
    case BtPieceMessage::ID: {
      auto m = BtPieceMessage::create(data);
      if (validate) {
        m->setBtMessageValidator(std::make_unique<BtPieceMessageValidator>(
            m.get(), numPieces, pieceStorage_->getPieceLength(m->getIndex())));
      }
      m->setDownloadContext(downloadContext_);
      m->setPeerStorage(peerStorage_);
      return wire(std::move(m));
    }
    case BtCancelMessage::ID:
      return withRange(BtCancelMessage::create(data));
    case BtPortMessage::ID: {
      auto m = BtPortMessage::create(data);
      m->setDHTPortReceiver(dhtPortReceiver_);
      return wire(std::move(m));
    }
    case BtSuggestPieceMessage::ID:
      return withIndex(BtSuggestPieceMessage::create(data));
    case BtHaveAllMessage::ID:
      return wire(BtHaveAllMessage::create(data));
    case BtHaveNoneMessage::ID:
      return wire(BtHaveNoneMessage::create(data));
    case BtRejectMessage::ID:
      return withRange(BtRejectMessage::create(data));
    case BtAllowedFastMessage::ID:
      return withIndex(BtAllowedFastMessage::create(data));
    case BtExtendedMessage::ID:
      if (!peer_->isExtendedMessagingEnabled()) {
        throw DL_ABORT_EX(
            "Received extended message from peer during a session with extended messaging "
            "disabled.");
      }
      return wire(BtExtendedMessage::create(extensionMessageFactory_, peer_, payload, length));
    default:
      throw DL_ABORT_EX(fmt("Invalid message ID. id=%u", static_cast<unsigned>(payload[0])));
  }
}

std::unique_ptr<BtHandshakeMessage> DefaultBtMessageFactory::createHandshakeMessage(
    const unsigned char* data, size_t length) {
  auto m = BtHandshakeMessage::create(asSpan(data, length));
  m->setBtMessageValidator(std::make_unique<BtHandshakeMessageValidator>(
      m.get(), bittorrent::getInfoHash(downloadContext_)));
  return wire(std::move(m));
}

std::unique_ptr<BtHandshakeMessage> DefaultBtMessageFactory::createHandshakeMessage(
    const unsigned char* infoHash, const unsigned char* peerId) {
  auto m = std::make_unique<BtHandshakeMessage>(infoHash, peerId);
  m->setDHTEnabled(dhtEnabled_);
  return wire(std::move(m));
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createRequestMessage(
    const std::shared_ptr<Piece>& piece, size_t blockIndex) {
  return wire(std::make_unique<BtRequestMessage>(
      piece->getIndex(), static_cast<int32_t>(blockIndex * piece->getBlockLength()),
      piece->getBlockLength(blockIndex), blockIndex));
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createCancelMessage(size_t index, int32_t begin,
                                                                        int32_t length) {
  return wire(std::make_unique<BtCancelMessage>(index, begin, length));
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createPieceMessage(size_t index, int32_t begin,
                                                                       int32_t length) {
  auto m = std::make_unique<BtPieceMessage>(index, begin, length);
  m->setDownloadContext(downloadContext_);
  return wire(std::move(m));
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createHaveMessage(size_t index) {
  return wire(std::make_unique<BtHaveMessage>(index));
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createChokeMessage() {
  return wire(std::make_unique<BtChokeMessage>());
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createUnchokeMessage() {
  return wire(std::make_unique<BtUnchokeMessage>());
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createInterestedMessage() {
  return wire(std::make_unique<BtInterestedMessage>());
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createNotInterestedMessage() {
  return wire(std::make_unique<BtNotInterestedMessage>());
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createBitfieldMessage() {
  return wire(std::make_unique<BtBitfieldMessage>(pieceStorage_->getBitfield(),
                                                  pieceStorage_->getBitfieldLength()));
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createKeepAliveMessage() {
  return wire(std::make_unique<BtKeepAliveMessage>());
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createHaveAllMessage() {
  return wire(std::make_unique<BtHaveAllMessage>());
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createHaveNoneMessage() {
  return wire(std::make_unique<BtHaveNoneMessage>());
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createRejectMessage(size_t index, int32_t begin,
                                                                        int32_t length) {
  return wire(std::make_unique<BtRejectMessage>(index, begin, length));
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createAllowedFastMessage(size_t index) {
  return wire(std::make_unique<BtAllowedFastMessage>(index));
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createPortMessage(uint16_t port) {
  return wire(std::make_unique<BtPortMessage>(port));
}

std::unique_ptr<BtMessage> DefaultBtMessageFactory::createBtExtendedMessage(
    std::unique_ptr<ExtensionMessage> extensionMessage) {
  return wire(std::make_unique<BtExtendedMessage>(std::move(extensionMessage)));
}

}  // namespace quarn
