// The extractor's output is whatever it wrote: decoding it must always give
// valid UTF-8 within the character limit, and quoting must never fail.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fetchprobe/debug_form.h"
#include "fetchprobe/utf8.h"

namespace {

size_t countChars(std::string_view valid) {
  size_t chars = 0;
  for (size_t pos = 0; pos < valid.size(); ++chars) {
    size_t length = quarn::utf8::sequenceLength(valid, pos);
    if (length == 0)
      std::abort();
    pos += length;
  }
  return chars;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string whole = quarn::utf8::decodeLossy(bytes);
  countChars(whole);
  if (quarn::utf8::decodeLossy(whole) != whole)
    std::abort();
  std::string cut = quarn::utf8::decodeLossy(bytes, 200);
  if (countChars(cut) > 200 || whole.compare(0, cut.size(), cut) != 0)
    std::abort();
  countChars(quarn::debug_form::quoted(bytes));
  return 0;
}
