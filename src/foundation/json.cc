#include "foundation/json.h"

#include <sstream>

namespace quarn {
namespace json {

std::string jsonEscape(const std::string& s) {
  static const char hexDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (unsigned char c : s) {
    switch (c) {
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      case '"':
      case '/':
      case '\\':
        out += '\\';
        out += static_cast<char>(c);
        break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += hexDigits[c >> 4];
          out += hexDigits[c & 0x0F];
        } else {
          out += static_cast<char>(c);
        }
        break;
    }
  }
  return out;
}

std::string encode(const ValueBase* value) {
  std::ostringstream out;
  encode(out, value);
  return out.str();
}

}  // namespace json
}  // namespace quarn
