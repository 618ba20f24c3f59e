#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bittorrent/BtMessage.h"
#include "bittorrent/BtMessageValidator.h"

namespace quarn {

class PieceStorage;
class Peer;
class BtMessageDispatcher;
class BtMessageFactory;
class BtRequestFactory;
class PeerConnection;

// The state every message shares: its id and name, its flags, the owning
// command's id and the connection's collaborators, set by the factory.
class AbstractBtMessage : public BtMessage {
 public:
  AbstractBtMessage(uint8_t id, const char* name) : id_(id), name_(name) {}

  uint8_t getId() const override { return id_; }
  bool isInvalidate() const override { return invalidate_; }
  void setInvalidate(bool invalidate) { invalidate_ = invalidate; }
  bool isUploading() const override { return uploading_; }
  void setUploading(bool uploading) { uploading_ = uploading; }
  const std::string& getName() const { return name_; }

  void doReceivedAction() override {}
  void validate() override;
  void onAbortOutstandingRequestEvent(const BtAbortOutstandingRequestEvent&) override {}
  void onCancelSendingPieceEvent(const BtCancelSendingPieceEvent&) override {}
  void onChokingEvent(const BtChokingEvent&) override {}
  void onQueued() override {}

  int64_t getCuid() const { return cuid_; }
  void setCuid(int64_t cuid) { cuid_ = cuid; }
  PieceStorage* getPieceStorage() const { return pieceStorage_; }
  void setPieceStorage(PieceStorage* pieceStorage) { pieceStorage_ = pieceStorage; }
  const std::shared_ptr<Peer>& getPeer() const { return peer_; }
  void setPeer(std::shared_ptr<Peer> peer) { peer_ = std::move(peer); }
  BtMessageDispatcher* getBtMessageDispatcher() const { return dispatcher_; }
  void setBtMessageDispatcher(BtMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  BtMessageFactory* getBtMessageFactory() const { return messageFactory_; }
  void setBtMessageFactory(BtMessageFactory* factory) { messageFactory_ = factory; }
  BtRequestFactory* getBtRequestFactory() const { return requestFactory_; }
  void setBtRequestFactory(BtRequestFactory* factory) { requestFactory_ = factory; }
  PeerConnection* getPeerConnection() const { return peerConnection_; }
  void setPeerConnection(PeerConnection* connection) { peerConnection_ = connection; }
  void setBtMessageValidator(std::unique_ptr<BtMessageValidator> validator) {
    validator_ = std::move(validator);
  }
  // A connection that only fetches a magnet link's metadata ignores most of
  // what the peer says about pieces.
  bool isMetadataGetMode() const { return metadataGetMode_; }
  void enableMetadataGetMode() { metadataGetMode_ = true; }

 protected:
  // Ends the connection when the peer became a seeder while this side has
  // everything too.
  void checkSeeder() const;
  // Ends the connection when a Fast-extension message comes from a peer that
  // did not announce the extension.
  void checkFastExtension(const char* format) const;

 private:
  uint8_t id_;
  bool invalidate_ = false;
  bool uploading_ = false;
  int64_t cuid_ = 0;
  std::string name_;
  PieceStorage* pieceStorage_ = nullptr;
  std::shared_ptr<Peer> peer_;
  BtMessageDispatcher* dispatcher_ = nullptr;
  BtMessageFactory* messageFactory_ = nullptr;
  BtRequestFactory* requestFactory_ = nullptr;
  PeerConnection* peerConnection_ = nullptr;
  std::unique_ptr<BtMessageValidator> validator_;
  bool metadataGetMode_ = false;
};

}  // namespace quarn
