#include "foundation/json.h"

#include <iterator>
#include <sstream>
#include <vector>

#include "foundation/base64.h"
#include "foundation/util_chars.h"
#include "foundation/util_string.h"

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

namespace {

// The callback name is echoed in front of the response, so only names that are plain
// script identifiers or member paths are taken.
bool isSafeCallbackName(const std::string& name) {
  for (char c : name) {
    if (!util::isAlpha(c) && !util::isDigit(c) && c != '_' && c != '$' && c != '.') {
      return false;
    }
  }
  return true;
}

}  // namespace

JsonGetParam decodeGetParams(const std::string& query) {
  JsonGetParam result;
  if (query.empty() || query[0] != '?') {
    return result;
  }
  std::string method, id, params, callback;
  std::vector<std::string> parameters;
  util::split(query.begin() + 1, query.end(), std::back_inserter(parameters), '&');
  for (const auto& parameter : parameters) {
    if (util::startsWith(parameter, "method=")) {
      method = parameter.substr(7);
    } else if (util::startsWith(parameter, "id=")) {
      id = parameter.substr(3);
    } else if (util::startsWith(parameter, "params=")) {
      params = parameter.substr(7);
    } else if (util::startsWith(parameter, "jsoncallback=")) {
      callback = parameter.substr(13);
    }
  }
  std::string decodedParams = util::percentDecode(params.begin(), params.end());
  decodedParams = base64::decode(decodedParams.begin(), decodedParams.end());
  if (method.empty() && id.empty()) {
    result.request = std::move(decodedParams);
  } else {
    result.request = "{";
    if (!method.empty()) {
      result.request += "\"method\":\"" + method + "\"";
    }
    if (!id.empty()) {
      result.request += ",\"id\":\"" + id + "\"";
    }
    if (!params.empty()) {
      result.request += ",\"params\":" + decodedParams;
    }
    result.request += "}";
  }
  if (isSafeCallbackName(callback)) {
    result.callback = std::move(callback);
  }
  return result;
}

}  // namespace json
}  // namespace quarn
