#pragma once

#include <memory>
#include <string>

#include "storage/IteratableValidator.h"

namespace quarn {

class BitfieldMan;
class DownloadContext;
class MessageDigest;
class PieceStorage;

// Recomputes the hash of every piece, one piece per step; at the end exactly
// the pieces whose hashes matched count as present.
class IteratableChunkChecksumValidator : public IteratableValidator {
 public:
  IteratableChunkChecksumValidator(std::shared_ptr<DownloadContext> downloadContext,
                                   std::shared_ptr<PieceStorage> pieceStorage);
  ~IteratableChunkChecksumValidator() override;

  void init() override;
  void validateChunk() override;
  bool finished() const override;
  int64_t getCurrentOffset() const override;
  int64_t getTotalLength() const override;

 private:
  void validatePiece();
  std::string digest(int64_t offset, int64_t length);

  std::shared_ptr<DownloadContext> downloadContext_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  std::unique_ptr<BitfieldMan> bitfield_;
  uint64_t currentIndex_;
  std::unique_ptr<MessageDigest> ctx_;
};

}  // namespace quarn
