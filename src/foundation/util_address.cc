#include "foundation/util_address.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "foundation/util_string.h"

namespace quarn {
namespace util {

bool isNumericHost(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* res = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0) {
    return false;
  }
  freeaddrinfo(res);
  return true;
}

bool inPrivateAddress(const std::string& ipv4addr) {
  if (ipv4addr.starts_with("10.") || ipv4addr.starts_with("192.168.")) {
    return true;
  }
  if (!ipv4addr.starts_with("172.") || ipv4addr.size() < 7 || ipv4addr[6] != '.') {
    return false;
  }
  char tens = ipv4addr[4];
  char ones = ipv4addr[5];
  return (tens == '1' && ones >= '6' && ones <= '9') ||
         (tens == '2' && ones >= '0' && ones <= '9') ||
         (tens == '3' && (ones == '0' || ones == '1'));
}

bool noProxyDomainMatch(const std::string& hostname, const std::string& domain) {
  if (domain.starts_with('.') && !isNumericHost(hostname)) {
    return hostname.ends_with(domain);
  }
  return hostname == domain;
}

bool tlsHostnameMatch(const std::string& pattern, const std::string& hostname) {
  auto wildcard = pattern.find('*');
  if (wildcard == std::string::npos) {
    return strieq(pattern, hostname);
  }
  auto patternDot = pattern.find('.');
  bool honoured = patternDot != std::string::npos && wildcard < patternDot &&
                  pattern.find('.', patternDot + 1) != std::string::npos &&
                  !istartsWith(pattern, "xn--");
  if (!honoured) {
    return strieq(pattern, hostname);
  }
  auto hostDot = hostname.find('.');
  if (hostDot == std::string::npos ||
      !strieq(pattern.substr(patternDot), hostname.substr(hostDot))) {
    return false;
  }
  if (hostDot < patternDot) {
    return false;
  }
  std::string hostLabel = hostname.substr(0, hostDot);
  return istartsWith(hostLabel, pattern.substr(0, wildcard)) &&
         iendsWith(hostLabel, pattern.substr(wildcard + 1, patternDot - wildcard - 1));
}

}  // namespace util
}  // namespace quarn
