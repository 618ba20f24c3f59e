#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "bittorrent/AbstractBtMessage.h"

namespace quarn {

class DownloadContext;
class Piece;
class PeerStorage;

// One block of torrent data. A received one is written from the connection's
// receive buffer straight into the files (or the write cache) and completes
// its piece; an outgoing one reads its block from disk only when sent.
class BtPieceMessage : public AbstractBtMessage {
 public:
  static constexpr uint8_t ID = 7;
  static constexpr const char* NAME = "piece";
  static constexpr size_t MESSAGE_HEADER_LENGTH = 13;

  BtPieceMessage(size_t index = 0, int32_t begin = 0, int32_t blockLength = 0);
  // The block is not copied: setMsgPayload must point at the payload, which
  // must stay valid until doReceivedAction has run.
  static std::unique_ptr<BtPieceMessage> create(std::span<const std::byte> payload);

  size_t getIndex() const { return index_; }
  int32_t getBegin() const { return begin_; }
  int32_t getBlockLength() const { return blockLength_; }
  void setDownloadContext(DownloadContext* downloadContext) { downloadContext_ = downloadContext; }
  void setPeerStorage(PeerStorage* peerStorage) { peerStorage_ = peerStorage; }
  // The payload, id byte first; the block starts 9 bytes after it.
  void setMsgPayload(const unsigned char* payload) { msgPayload_ = payload; }

  void createMessageHeader(unsigned char* buffer) const;
  size_t getMessageHeaderLength() const { return MESSAGE_HEADER_LENGTH; }

  void doReceivedAction() override;
  void send() override;
  void onChokingEvent(const BtChokingEvent& event) override;
  void onCancelSendingPieceEvent(const BtCancelSendingPieceEvent& event) override;
  std::string toString() const override;

 private:
  int64_t globalOffset() const;
  void storeBlock(const std::shared_ptr<Piece>& piece, int64_t offset);
  bool checkPieceHash(const std::shared_ptr<Piece>& piece);
  void onNewPiece(const std::shared_ptr<Piece>& piece);
  void onWrongPiece(const std::shared_ptr<Piece>& piece);
  // Replaces the queued message by a reject when the peer understands one.
  void rejectQueued(const char* reason);

  size_t index_;
  int32_t begin_;
  int32_t blockLength_;
  DownloadContext* downloadContext_ = nullptr;
  PeerStorage* peerStorage_ = nullptr;
  const unsigned char* msgPayload_ = nullptr;
};

}  // namespace quarn
