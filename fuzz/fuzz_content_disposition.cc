// Feeds arbitrary header values to the Content-Disposition parser with and without
// defaultUTF8 and with a small and a full-size buffer. The name never overruns the buffer,
// a reported charset lies inside the header, and a small buffer that suffices gives the
// same result as the full-size one.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/util_content_disposition.h"

namespace {

ssize_t parse(const std::string& header, bool defaultUTF8, size_t destlen, std::string& name) {
  std::string dest(destlen, '\0');
  const char* charset;
  size_t charsetLength;
  ssize_t r = quarn::util::parse_content_disposition(dest.data(), destlen, &charset, &charsetLength,
                                                     header.data(), header.size(), defaultUTF8);
  if (r > static_cast<ssize_t>(destlen) || r < -1) {
    abort();
  }
  if (charset &&
      (charset < header.data() || charset + charsetLength > header.data() + header.size())) {
    abort();
  }
  name = r > 0 ? dest.substr(0, r) : std::string();
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string header(reinterpret_cast<const char*>(data), size);
  for (bool defaultUTF8 : {false, true}) {
    std::string full, small;
    ssize_t fullResult = parse(header, defaultUTF8, 1024, full);
    ssize_t smallResult = parse(header, defaultUTF8, 8, small);
    if (smallResult >= 0 && (fullResult != smallResult || full != small)) {
      abort();
    }
    // The name offered for saving never leaves the download directory.
    std::string fileName = quarn::util::getContentDispositionFilename(header, defaultUTF8);
    if (fileName.find_first_of("/\\") != std::string::npos || fileName == ".." || fileName == ".") {
      abort();
    }
  }
  return 0;
}
