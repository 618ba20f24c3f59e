#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/Time.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  quarn::Time t = quarn::Time::parseHTTPDate(text);
  if (t.good()) {
    t.toHTTPDate();
  }
  return 0;
}
