#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "bittorrent/BtRequestFactory.h"

namespace quarn {

class BtMessageDispatcher;
class BtMessageFactory;
class Peer;
class PieceStorage;

// The pieces being fetched from one peer and the block requests made of
// them: in normal mode only blocks nobody fetches, in end game every missing
// block not yet asked of this peer, in random order.
class DefaultBtRequestFactory : public BtRequestFactory {
 public:
  void addTargetPiece(const std::shared_ptr<Piece>& piece) override;
  void removeTargetPiece(const std::shared_ptr<Piece>& piece) override;
  void removeAllTargetPiece() override;
  size_t countTargetPiece() override { return pieces_.size(); }
  size_t countMissingBlock() override;
  void removeCompletedPiece() override;
  void doChokedAction() override;
  std::vector<std::unique_ptr<BtMessage>> createRequestMessages(size_t max, bool endGame) override;
  std::vector<size_t> getTargetPieceIndexes() const override;

  void setPieceStorage(PieceStorage* pieceStorage) { pieceStorage_ = pieceStorage; }
  void setPeer(std::shared_ptr<Peer> peer) { peer_ = std::move(peer); }
  void setBtMessageDispatcher(BtMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  void setBtMessageFactory(BtMessageFactory* factory) { messageFactory_ = factory; }
  void setCuid(int64_t cuid) { cuid_ = cuid; }

 private:
  std::vector<std::unique_ptr<BtMessage>> createNormal(size_t max);
  std::vector<std::unique_ptr<BtMessage>> createEndGame(size_t max);
  std::unique_ptr<BtMessage> createRequest(const std::shared_ptr<Piece>& piece, size_t blockIndex);

  PieceStorage* pieceStorage_ = nullptr;
  std::shared_ptr<Peer> peer_;
  BtMessageDispatcher* dispatcher_ = nullptr;
  BtMessageFactory* messageFactory_ = nullptr;
  std::deque<std::shared_ptr<Piece>> pieces_;
  int64_t cuid_ = 0;
};

}  // namespace quarn
