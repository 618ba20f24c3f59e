#pragma once

// What the stream-filter fuzz targets share: a sink that collects what the
// filter under test passes on, and the outcome of one decoding run.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "storage/StreamFilter.h"

namespace fuzz {

class Collector : public quarn::StreamFilter {
 public:
  explicit Collector(std::string* out) : out_(out) {}
  void init() override {}
  ssize_t transform(const std::shared_ptr<quarn::BinaryStream>&,
                    const std::shared_ptr<quarn::Segment>&, const uint8_t* in,
                    size_t len) override {
    out_->append(reinterpret_cast<const char*>(in), len);
    return len;
  }
  bool finished() override { return true; }
  void release() override {}
  const std::string& getName() const override { return name_; }
  size_t getBytesProcessed() const override { return 0; }

 private:
  std::string* out_;
  std::string name_ = "Collector";
};

struct Result {
  std::string output;
  size_t consumed = 0;
  bool failed = false;
  bool finished = false;
};

}  // namespace fuzz
