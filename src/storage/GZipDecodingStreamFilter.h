#pragma once

#include <zlib.h>

#include "storage/StreamFilter.h"

namespace quarn {

// Inflates a gzip or zlib stream (content codings "gzip" and "deflate").
class GZipDecodingStreamFilter : public StreamFilter {
 public:
  static const std::string NAME;

  explicit GZipDecodingStreamFilter(std::unique_ptr<StreamFilter> delegate = nullptr);
  ~GZipDecodingStreamFilter() override;

  void init() override;
  ssize_t transform(const std::shared_ptr<BinaryStream>& out,
                    const std::shared_ptr<Segment>& segment, const uint8_t* inbuf,
                    size_t inlen) override;
  bool finished() override;
  void release() override;
  const std::string& getName() const override { return NAME; }
  size_t getBytesProcessed() const override { return bytesProcessed_; }

 private:
  static constexpr size_t OUTBUF_LENGTH = 16384;

  std::unique_ptr<z_stream> strm_;
  bool finished_;
  uint64_t bytesProcessed_;
};

}  // namespace quarn
