#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarn {

// The raw digests of a download's pieces, with their hash type and piece length.
class ChunkChecksum {
 public:
  ChunkChecksum();
  ChunkChecksum(std::string hashType, std::vector<std::string> pieceHashes, int32_t pieceLength);

  bool validateChunk(const std::string& actualDigest, size_t index) const;
  int64_t getEstimatedDataLength() const;
  size_t countPieceHash() const { return pieceHashes_.size(); }
  // The hash of a piece, empty when there is none for that index.
  const std::string& getPieceHash(size_t index) const;

  const std::vector<std::string>& getPieceHashes() const { return pieceHashes_; }
  void setPieceHashes(std::vector<std::string> pieceHashes) {
    pieceHashes_ = std::move(pieceHashes);
  }
  const std::string& getHashType() const { return hashType_; }
  void setHashType(std::string hashType) { hashType_ = std::move(hashType); }
  int32_t getPieceLength() const { return pieceLength_; }
  void setPieceLength(int32_t length) { pieceLength_ = length; }

 private:
  std::string hashType_;
  std::vector<std::string> pieceHashes_;
  int32_t pieceLength_;
};

}  // namespace quarn
