#pragma once

#include "storage/StreamFilter.h"

namespace quarn {

// Ends a chain whose body is not wanted: counts the bytes and drops them.
class NullSinkStreamFilter : public StreamFilter {
 public:
  static const std::string NAME;

  NullSinkStreamFilter() : bytesProcessed_(0) {}

  void init() override {}
  ssize_t transform(const std::shared_ptr<BinaryStream>& /*out*/,
                    const std::shared_ptr<Segment>& /*segment*/, const uint8_t* /*inbuf*/,
                    size_t inlen) override {
    bytesProcessed_ = inlen;
    return inlen;
  }
  bool finished() override { return true; }
  void release() override {}
  const std::string& getName() const override { return NAME; }
  size_t getBytesProcessed() const override { return bytesProcessed_; }
  bool installDelegate(std::unique_ptr<StreamFilter> /*filter*/) override { return false; }

 private:
  uint64_t bytesProcessed_;
};

}  // namespace quarn
