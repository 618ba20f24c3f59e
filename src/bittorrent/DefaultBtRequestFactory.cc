#include "bittorrent/DefaultBtRequestFactory.h"

#include <algorithm>
#include <vector>

#include "bittorrent/BtMessage.h"
#include "bittorrent/BtMessageDispatcher.h"
#include "bittorrent/BtMessageFactory.h"
#include "bittorrent/Peer.h"
#include "foundation/LogMacros.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/fmt.h"
#include "storage/Piece.h"
#include "storage/PieceStorage.h"

namespace quarn {

void DefaultBtRequestFactory::addTargetPiece(const std::shared_ptr<Piece>& piece) {
  pieces_.push_back(piece);
}

void DefaultBtRequestFactory::removeTargetPiece(const std::shared_ptr<Piece>& piece) {
  std::erase_if(pieces_, [&](const auto& p) { return p->getIndex() == piece->getIndex(); });
  dispatcher_->doAbortOutstandingRequestAction(piece);
  pieceStorage_->cancelPiece(piece, cuid_);
}

void DefaultBtRequestFactory::removeAllTargetPiece() {
  for (const auto& piece : pieces_) {
    dispatcher_->doAbortOutstandingRequestAction(piece);
    pieceStorage_->cancelPiece(piece, cuid_);
  }
  pieces_.clear();
}

size_t DefaultBtRequestFactory::countMissingBlock() {
  size_t n = 0;
  for (const auto& piece : pieces_) {
    n += piece->countMissingBlock();
  }
  return n;
}

void DefaultBtRequestFactory::removeCompletedPiece() {
  std::erase_if(pieces_, [&](const auto& piece) {
    if (!piece->pieceComplete()) {
      return false;
    }
    dispatcher_->doAbortOutstandingRequestAction(piece);
    return true;
  });
}

void DefaultBtRequestFactory::doChokedAction() {
  std::erase_if(pieces_, [&](const auto& piece) {
    if (peer_->isInPeerAllowedIndexSet(piece->getIndex())) {
      return false;
    }
    pieceStorage_->cancelPiece(piece, cuid_);
    return true;
  });
}

std::unique_ptr<BtMessage> DefaultBtRequestFactory::createRequest(
    const std::shared_ptr<Piece>& piece, size_t blockIndex) {
  QLOG_DEBUG(fmt("Creating RequestMessage index=%lu, begin=%u, blockIndex=%lu",
                 static_cast<unsigned long>(piece->getIndex()),
                 static_cast<unsigned>(blockIndex * piece->getBlockLength()),
                 static_cast<unsigned long>(blockIndex)));
  return messageFactory_->createRequestMessage(piece, blockIndex);
}

std::vector<std::unique_ptr<BtMessage>> DefaultBtRequestFactory::createNormal(size_t max) {
  std::vector<std::unique_ptr<BtMessage>> requests;
  std::vector<size_t> blocks;
  for (auto it = pieces_.begin(); it != pieces_.end() && max > 0; ++it) {
    const auto& piece = *it;
    const size_t got = piece->getMissingUnusedBlockIndex(blocks, max);
    for (size_t blockIndex : blocks) {
      requests.push_back(createRequest(piece, blockIndex));
    }
    max -= std::min(max, got);
    blocks.clear();
  }
  return requests;
}

std::vector<std::unique_ptr<BtMessage>> DefaultBtRequestFactory::createEndGame(size_t max) {
  std::vector<std::unique_ptr<BtMessage>> requests;
  for (const auto& piece : pieces_) {
    if (requests.size() >= max) {
      break;
    }
    std::vector<uint8_t> missing(piece->getBitfieldLength());
    piece->getAllMissingBlockIndexes(missing.data(), missing.size());
    std::vector<size_t> blocks;
    for (size_t i = 0; i < missing.size(); ++i) {
      for (int bit = 0; bit < 8; ++bit) {
        if (missing[i] & (0x80u >> bit)) {
          blocks.push_back(i * 8 + bit);
        }
      }
    }
    std::shuffle(blocks.begin(), blocks.end(), *SimpleRandomizer::getInstance());
    for (size_t blockIndex : blocks) {
      if (requests.size() >= max) {
        break;
      }
      // Other peers may fetch the same block; this one is not asked twice.
      if (!dispatcher_->isOutstandingRequest(piece->getIndex(), blockIndex)) {
        requests.push_back(createRequest(piece, blockIndex));
      }
    }
  }
  return requests;
}

std::vector<std::unique_ptr<BtMessage>> DefaultBtRequestFactory::createRequestMessages(
    size_t max, bool endGame) {
  return endGame ? createEndGame(max) : createNormal(max);
}

std::vector<size_t> DefaultBtRequestFactory::getTargetPieceIndexes() const {
  std::vector<size_t> indexes;
  for (const auto& piece : pieces_) {
    indexes.push_back(piece->getIndex());
  }
  return indexes;
}

}  // namespace quarn
