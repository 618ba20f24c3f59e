#pragma once

#include <cstdint>
#include <memory>

#include "bittorrent/BtMessageFactory.h"

namespace quarn {

class AbstractBtMessage;
class BtMessageDispatcher;
class BtRequestFactory;
class DHTPortReceiver;
class DownloadContext;
class ExtensionMessageFactory;
class Peer;
class PeerConnection;
class PeerStorage;
class PieceStorage;

// The message factory of one peer connection: decodes what the peer sends
// (with the validators that keep its indexes and ranges inside the torrent)
// and makes what this side sends, every message wired to the connection.
class DefaultBtMessageFactory : public BtMessageFactory {
 public:
  std::unique_ptr<BtMessage> createBtMessage(const unsigned char* payload, size_t length) override;
  std::unique_ptr<BtHandshakeMessage> createHandshakeMessage(const unsigned char* data,
                                                             size_t length) override;
  std::unique_ptr<BtHandshakeMessage> createHandshakeMessage(const unsigned char* infoHash,
                                                             const unsigned char* peerId) override;
  std::unique_ptr<BtMessage> createRequestMessage(const std::shared_ptr<Piece>& piece,
                                                  size_t blockIndex) override;
  std::unique_ptr<BtMessage> createCancelMessage(size_t index, int32_t begin,
                                                 int32_t length) override;
  std::unique_ptr<BtMessage> createPieceMessage(size_t index, int32_t begin,
                                                int32_t length) override;
  std::unique_ptr<BtMessage> createHaveMessage(size_t index) override;
  std::unique_ptr<BtMessage> createChokeMessage() override;
  std::unique_ptr<BtMessage> createUnchokeMessage() override;
  std::unique_ptr<BtMessage> createInterestedMessage() override;
  std::unique_ptr<BtMessage> createNotInterestedMessage() override;
  std::unique_ptr<BtMessage> createBitfieldMessage() override;
  std::unique_ptr<BtMessage> createKeepAliveMessage() override;
  std::unique_ptr<BtMessage> createHaveAllMessage() override;
  std::unique_ptr<BtMessage> createHaveNoneMessage() override;
  std::unique_ptr<BtMessage> createRejectMessage(size_t index, int32_t begin,
                                                 int32_t length) override;
  std::unique_ptr<BtMessage> createAllowedFastMessage(size_t index) override;
  std::unique_ptr<BtMessage> createPortMessage(uint16_t port) override;
  std::unique_ptr<BtMessage> createBtExtendedMessage(
      std::unique_ptr<ExtensionMessage> extensionMessage) override;

  void setCuid(int64_t cuid) { cuid_ = cuid; }
  void setDownloadContext(DownloadContext* downloadContext) { downloadContext_ = downloadContext; }
  void setPieceStorage(PieceStorage* pieceStorage) { pieceStorage_ = pieceStorage; }
  void setPeerStorage(PeerStorage* peerStorage) { peerStorage_ = peerStorage; }
  void setPeer(std::shared_ptr<Peer> peer) { peer_ = std::move(peer); }
  void setDHTEnabled(bool enabled) { dhtEnabled_ = enabled; }
  void setBtMessageDispatcher(BtMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  void setBtRequestFactory(BtRequestFactory* factory) { requestFactory_ = factory; }
  void setPeerConnection(PeerConnection* connection) { peerConnection_ = connection; }
  void setExtensionMessageFactory(ExtensionMessageFactory* factory) {
    extensionMessageFactory_ = factory;
  }
  void setDHTPortReceiver(DHTPortReceiver* receiver) { dhtPortReceiver_ = receiver; }
  void enableMetadataGetMode() { metadataGetMode_ = true; }

 private:
  // What every message of the connection shares.
  void setCommonProperty(AbstractBtMessage& message);
  template <typename T>
  std::unique_ptr<T> wire(std::unique_ptr<T> message) {
    setCommonProperty(*message);
    return message;
  }
  std::unique_ptr<BtMessage> decode(const unsigned char* payload, size_t length);

  int64_t cuid_ = 0;
  DownloadContext* downloadContext_ = nullptr;
  PieceStorage* pieceStorage_ = nullptr;
  PeerStorage* peerStorage_ = nullptr;
  std::shared_ptr<Peer> peer_;
  bool dhtEnabled_ = false;
  BtMessageDispatcher* dispatcher_ = nullptr;
  BtRequestFactory* requestFactory_ = nullptr;
  PeerConnection* peerConnection_ = nullptr;
  ExtensionMessageFactory* extensionMessageFactory_ = nullptr;
  DHTPortReceiver* dhtPortReceiver_ = nullptr;
  bool metadataGetMode_ = false;
};

}  // namespace quarn
