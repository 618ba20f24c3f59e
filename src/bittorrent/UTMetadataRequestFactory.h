#pragma once

#include <memory>
#include <vector>

#include "engine/Command.h"

namespace quarn {

class BtMessage;
class BtMessageDispatcher;
class BtMessageFactory;
class DownloadContext;
class Peer;
class PieceStorage;
class UTMetadataRequestTracker;

// Picks the metadata pieces one connection asks its peer for next.
class UTMetadataRequestFactory {
 public:
  // Up to num requests for pieces no other connection holds, each wrapped as
  // an extended message and recorded in the tracker.
  std::vector<std::unique_ptr<BtMessage>> create(size_t num, PieceStorage* pieceStorage);

  void setDownloadContext(DownloadContext* dctx) { dctx_ = dctx; }
  void setPeer(std::shared_ptr<Peer> peer) { peer_ = std::move(peer); }
  void setBtMessageDispatcher(BtMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  void setBtMessageFactory(BtMessageFactory* factory) { messageFactory_ = factory; }
  void setUTMetadataRequestTracker(UTMetadataRequestTracker* tracker) { tracker_ = tracker; }
  void setCuid(cuid_t cuid) { cuid_ = cuid; }

 private:
  DownloadContext* dctx_ = nullptr;
  std::shared_ptr<Peer> peer_;
  BtMessageDispatcher* dispatcher_ = nullptr;
  BtMessageFactory* messageFactory_ = nullptr;
  UTMetadataRequestTracker* tracker_ = nullptr;
  cuid_t cuid_ = 0;
};

}  // namespace quarn
