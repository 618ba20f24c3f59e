#include "fetchprobe/debug_form.h"

#include <cstdio>

#include "fetchprobe/utf8.h"

namespace quarn {
namespace debug_form {

namespace {

bool isControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

void appendEscaped(std::string& out, char32_t c) {
  switch (c) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\t':
      out += "\\t";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\0':
      out += "\\0";
      return;
  }
  char buf[16];
  std::snprintf(buf, sizeof(buf), "\\u{%x}", static_cast<unsigned>(c));
  out += buf;
}

void appendByteEscape(std::string& out, unsigned char b) {
  char buf[8];
  std::snprintf(buf, sizeof(buf), "\\x%02x", b);
  out += buf;
}

}  // namespace

std::string quoted(std::string_view text) {
  std::string out = "\"";
  size_t pos = 0;
  while (pos < text.size()) {
    size_t length = utf8::sequenceLength(text, pos);
    if (length == 0) {
      appendByteEscape(out, static_cast<unsigned char>(text[pos]));
      ++pos;
      continue;
    }
    char32_t c = utf8::codePointAt(text, pos, length);
    if (c == '"' || c == '\\' || isControl(c)) {
      appendEscaped(out, c);
    } else {
      out.append(text.substr(pos, length));
    }
    pos += length;
  }
  out += '"';
  return out;
}

}  // namespace debug_form
}  // namespace quarn
