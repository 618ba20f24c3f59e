// Feeds arbitrary bytes to the gzip/zlib decoder, whole and then split at a
// point taken from the input, and checks that both runs agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/RecoverableException.h"
#include "storage/GZipDecodingStreamFilter.h"

namespace {

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

Result decode(const uint8_t* data, size_t size, size_t split) {
  Result r;
  quarn::GZipDecodingStreamFilter f(std::make_unique<Collector>(&r.output));
  try {
    f.init();
    f.transform(nullptr, nullptr, data, split);
    r.consumed = f.getBytesProcessed();
    f.transform(nullptr, nullptr, data + split, size - split);
    r.consumed += f.getBytesProcessed();
  } catch (const quarn::RecoverableException&) {
    r.failed = true;
  }
  r.finished = f.finished();
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  size_t split = data[0] % size;
  Result whole = decode(data + 1, size - 1, size - 1);
  Result parts = decode(data + 1, size - 1, split == 0 ? 0 : split - 1);
  if (whole.failed != parts.failed ||
      (!whole.failed && (whole.output != parts.output || whole.consumed != parts.consumed ||
                         whole.finished != parts.finished))) {
    abort();
  }
  return 0;
}
