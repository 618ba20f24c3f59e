#pragma once

#include "storage/StreamFilter.h"

namespace quarn {

// Undoes the HTTP chunked transfer coding; chunk data is handed to the
// delegate as slices of the input, never copied.
class ChunkedDecodingStreamFilter : public StreamFilter {
 public:
  static const std::string NAME;

  explicit ChunkedDecodingStreamFilter(std::unique_ptr<StreamFilter> delegate = nullptr);

  void init() override {}
  ssize_t transform(const std::shared_ptr<BinaryStream>& out,
                    const std::shared_ptr<Segment>& segment, const uint8_t* inbuf,
                    size_t inlen) override;
  bool finished() override;
  void release() override {}
  const std::string& getName() const override { return NAME; }
  size_t getBytesProcessed() const override { return bytesProcessed_; }

 private:
  enum State {
    SIZE_START,
    SIZE_DIGITS,
    SIZE_EXTENSION,
    SIZE_LF,
    DATA,
    DATA_CR,
    DATA_LF,
    TRAILER_START,
    TRAILER_LINE,
    TRAILER_LF,
    FINAL_LF,
    DONE,
  };

  State state_;
  int64_t chunkSize_;
  int64_t chunkRemaining_;
  uint64_t bytesProcessed_;
};

}  // namespace quarn
