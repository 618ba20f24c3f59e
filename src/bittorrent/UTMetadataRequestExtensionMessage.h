#pragma once

#include <memory>

#include "bittorrent/UTMetadataExtensionMessage.h"

namespace quarn {

class BtMessageDispatcher;
class BtMessageFactory;
class DownloadContext;
class Peer;

// A peer asks for one metadata piece; answered with the piece, or with a
// reject while this side has no metadata itself.
class UTMetadataRequestExtensionMessage : public UTMetadataExtensionMessage {
 public:
  using UTMetadataExtensionMessage::UTMetadataExtensionMessage;

  std::string getPayload() override;
  std::string toString() const override;
  void doReceivedAction() override;

  void setDownloadContext(DownloadContext* dctx) { dctx_ = dctx; }
  void setPeer(std::shared_ptr<Peer> peer) { peer_ = std::move(peer); }
  void setBtMessageDispatcher(BtMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  void setBtMessageFactory(BtMessageFactory* factory) { messageFactory_ = factory; }

 private:
  DownloadContext* dctx_ = nullptr;
  std::shared_ptr<Peer> peer_;
  BtMessageDispatcher* dispatcher_ = nullptr;
  BtMessageFactory* messageFactory_ = nullptr;
};

}  // namespace quarn
