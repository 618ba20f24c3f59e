#include "rpc/origin_check.h"

#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/util_string.h"
#include "net/HttpHeader.h"

namespace quarn {
namespace rpc {

bool isLoopbackOrigin(const std::string& origin) {
  std::string rest;
  if (util::startsWith(origin, "http://")) {
    rest = origin.substr(7);
  } else if (util::startsWith(origin, "https://")) {
    rest = origin.substr(8);
  } else {
    return false;
  }
  std::string host;
  std::string tail;
  if (util::startsWith(rest, "[")) {
    auto close = rest.find(']');
    if (close == std::string::npos) {
      return false;
    }
    host = rest.substr(0, close + 1);
    tail = rest.substr(close + 1);
  } else {
    auto end = rest.find_first_of(":/");
    host = rest.substr(0, end);
    tail = end == std::string::npos ? "" : rest.substr(end);
  }
  if (!tail.empty()) {
    // Only a port may follow the host, and a trailing "/" some clients add.
    if (tail == "/") {
      tail.clear();
    } else if (tail[0] != ':' || tail.find_first_not_of("0123456789", 1) != std::string::npos) {
      return false;
    }
  }
  host = util::toLower(host);
  return host == "localhost" || host == "127.0.0.1" || host == "[::1]";
}

bool isRefusedCrossOrigin(const HttpHeader& header, const Option& option) {
  if (!option.blank(PREF_RPC_SECRET) || option.getAsBool(PREF_RPC_ALLOW_ORIGIN_ALL) ||
      !header.defined(HttpHeader::ORIGIN)) {
    return false;
  }
  return !isLoopbackOrigin(header.find(HttpHeader::ORIGIN));
}

}  // namespace rpc
}  // namespace quarn
