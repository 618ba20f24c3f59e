#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarn {
namespace util {

// Björn Höhrmann's DFA UTF-8 decoder: 256 byte classes, then the transitions. States are
// multiples of 12; 0 accepts (at a character boundary) and 12 rejects. One step is
// state = utf8d[256 + state + utf8d[byte]].
extern const uint8_t utf8d[];

constexpr uint32_t UTF8_ACCEPT = 0;
constexpr uint32_t UTF8_REJECT = 12;

// Reads a Content-Disposition header value (RFC 6266, with RFC 5987 extended values) and
// copies the file name into dest. Returns the number of bytes copied (0 when no file is
// named), or -1 when the header is malformed or the name does not fit. *charsetp and
// *charsetlenp point at the charset of a "filename*" parameter inside in, or are null and
// 0. defaultUTF8 reads quoted values as UTF-8 instead of ISO-8859-1.
ssize_t parse_content_disposition(char* dest, size_t destlen, const char** charsetp,
                                  size_t* charsetlenp, const char* in, size_t len,
                                  bool defaultUTF8);

// The file name the header offers, as UTF-8; empty when there is none or it is unsafe as
// a file name.
std::string getContentDispositionFilename(const std::string& header, bool defaultUTF8);

}  // namespace util
}  // namespace quarn
