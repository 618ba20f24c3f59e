#pragma once

#include <string>

#include "bittorrent/UTMetadataExtensionMessage.h"

namespace quarn {

class DownloadContext;
class PieceStorage;
class UTMetadataRequestTracker;

// One metadata piece. Received, it is stored when this connection asked for
// it; the last piece is checked against the info hash.
class UTMetadataDataExtensionMessage : public UTMetadataExtensionMessage {
 public:
  using UTMetadataExtensionMessage::UTMetadataExtensionMessage;

  std::string getPayload() override;
  std::string toString() const override;
  void doReceivedAction() override;

  size_t getTotalSize() const { return totalSize_; }
  void setTotalSize(size_t size) { totalSize_ = size; }
  const std::string& getData() const { return data_; }
  void setData(std::string data) { data_ = std::move(data); }
  void setPieceStorage(PieceStorage* storage) { pieceStorage_ = storage; }
  void setDownloadContext(DownloadContext* dctx) { dctx_ = dctx; }
  void setUTMetadataRequestTracker(UTMetadataRequestTracker* tracker) { tracker_ = tracker; }

 private:
  size_t totalSize_ = 0;
  std::string data_;
  PieceStorage* pieceStorage_ = nullptr;
  DownloadContext* dctx_ = nullptr;
  UTMetadataRequestTracker* tracker_ = nullptr;
};

}  // namespace quarn
