// Feeds arbitrary bytes to the chunked decoder, whole and then split at a point
// taken from the input, and checks that both runs agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "StreamFilterFuzz.h"
#include "foundation/RecoverableException.h"
#include "storage/ChunkedDecodingStreamFilter.h"

namespace {

using fuzz::Collector;
using fuzz::Result;

Result decode(const uint8_t* data, size_t size, size_t split) {
  Result r;
  quarn::ChunkedDecodingStreamFilter f(std::make_unique<Collector>(&r.output));
  try {
    f.transform(nullptr, nullptr, data, split);
    r.consumed = f.getBytesProcessed();
    f.transform(nullptr, nullptr, data + r.consumed, size - r.consumed);
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
  if (whole.failed != parts.failed || whole.finished != parts.finished ||
      (!whole.failed && (whole.output != parts.output || whole.consumed != parts.consumed))) {
    abort();
  }
  if (!whole.failed && whole.output.size() > size) {
    abort();
  }
  return 0;
}
