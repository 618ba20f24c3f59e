#pragma once

#include <memory>

#include "storage/IteratableValidator.h"

namespace quarn {

class DownloadContext;
class MessageDigest;
class PieceStorage;

// Recomputes the whole-file digest, at most 4096 bytes per step.
class IteratableChecksumValidator : public IteratableValidator {
 public:
  IteratableChecksumValidator(std::shared_ptr<DownloadContext> downloadContext,
                              std::shared_ptr<PieceStorage> pieceStorage);
  ~IteratableChecksumValidator() override;

  void init() override;
  void validateChunk() override;
  bool finished() const override;
  int64_t getCurrentOffset() const override { return currentOffset_; }
  int64_t getTotalLength() const override;

 private:
  void compareDigest();

  std::shared_ptr<DownloadContext> downloadContext_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  int64_t currentOffset_;
  std::unique_ptr<MessageDigest> ctx_;
};

}  // namespace quarn
