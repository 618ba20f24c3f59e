#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/DlAbortEx.h"
#include "foundation/util_chars.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"

using namespace quarn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Percent encoding must round-trip through decoding.
  std::string encoded = util::percentEncode(text);
  if (util::percentDecode(encoded.begin(), encoded.end()) != text) {
    std::abort();
  }
  util::percentDecode(text.begin(), text.end());
  util::isUtf8(text);
  util::iso8859p1ToUtf8(text);
  util::fromHex(text.begin(), text.end());
  std::vector<std::string> items;
  util::split(text.begin(), text.end(), std::back_inserter(items), ',', true, true);
  util::divide(text.begin(), text.end(), '=');
  int32_t i32;
  util::parseIntNoThrow(i32, text);
  double d;
  util::parseDoubleNoThrow(d, text);
  try {
    util::getRealSize(text);
  } catch (const DlAbortEx&) {
  }
  return 0;
}
