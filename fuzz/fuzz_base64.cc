#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/base32.h"
#include "foundation/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  std::string decoded = quarn::base64::decode(text, text + size);
  // Whatever decodes must encode back to text that decodes to the same bytes.
  std::string again = quarn::base64::encode(decoded.begin(), decoded.end());
  if (quarn::base64::decode(again.begin(), again.end()) != decoded) {
    std::abort();
  }
  quarn::base32::decode(text, text + size);
  return 0;
}
