#include "storage/ChunkChecksum.h"

#include "foundation/QNSTR.h"

namespace quarn {

ChunkChecksum::ChunkChecksum() : pieceLength_(0) {}

ChunkChecksum::ChunkChecksum(std::string hashType, std::vector<std::string> pieceHashes,
                             int32_t pieceLength)
    : hashType_(std::move(hashType)),
      pieceHashes_(std::move(pieceHashes)),
      pieceLength_(pieceLength) {}

bool ChunkChecksum::validateChunk(const std::string& actualDigest, size_t index) const {
  const std::string& expected = getPieceHash(index);
  return !expected.empty() && actualDigest == expected;
}

int64_t ChunkChecksum::getEstimatedDataLength() const {
  return static_cast<int64_t>(pieceLength_) * static_cast<int64_t>(pieceHashes_.size());
}

const std::string& ChunkChecksum::getPieceHash(size_t index) const {
  return index < pieceHashes_.size() ? pieceHashes_[index] : QNSTR::NIL;
}

}  // namespace quarn
