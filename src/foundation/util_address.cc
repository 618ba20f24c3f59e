#include "foundation/util_address.h"

#include <netdb.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>

#include <cstring>
#include <memory>

namespace quarn {
namespace util {

namespace {

struct AddrInfoDeleter {
  void operator()(addrinfo* res) const { freeaddrinfo(res); }
};

// The address bytes of a numeric IPv4 (4 bytes) or IPv6 (16 bytes) text, or 0.
size_t numericAddressBytes(unsigned char* dest, const std::string& ip) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* res = nullptr;
  if (getaddrinfo(ip.c_str(), nullptr, &hints, &res) != 0) {
    return 0;
  }
  std::unique_ptr<addrinfo, AddrInfoDeleter> owner(res);
  for (auto rp = res; rp; rp = rp->ai_next) {
    if (rp->ai_family == AF_INET) {
      memcpy(dest, &reinterpret_cast<sockaddr_in*>(rp->ai_addr)->sin_addr, 4);
      return 4;
    }
    if (rp->ai_family == AF_INET6) {
      memcpy(dest, &reinterpret_cast<sockaddr_in6*>(rp->ai_addr)->sin6_addr, 16);
      return 16;
    }
  }
  return 0;
}

bool iequals(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool istartsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

bool iendsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         strncasecmp(text.data() + text.size() - suffix.size(), suffix.data(), suffix.size()) == 0;
}

}  // namespace

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

bool inSameCidrBlock(const std::string& ip1, const std::string& ip2, size_t bits) {
  unsigned char a[16], b[16];
  size_t len1 = numericAddressBytes(a, ip1);
  if (len1 == 0) {
    return false;
  }
  size_t len2 = numericAddressBytes(b, ip2);
  if (len1 != len2) {
    return false;
  }
  if (bits > len1 * 8) {
    bits = len1 * 8;
  }
  if (bits == 0) {
    return true;
  }
  size_t last = (bits - 1) / 8;
  if (memcmp(a, b, last) != 0) {
    return false;
  }
  unsigned char mask = bits % 8 == 0 ? 0xff : static_cast<unsigned char>(0xff << (8 - bits % 8));
  return (a[last] & mask) == (b[last] & mask);
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
    return iequals(pattern, hostname);
  }
  auto patternDot = pattern.find('.');
  bool honoured = patternDot != std::string::npos && wildcard < patternDot &&
                  pattern.find('.', patternDot + 1) != std::string::npos &&
                  !istartsWith(pattern, "xn--");
  if (!honoured) {
    return iequals(pattern, hostname);
  }
  auto hostDot = hostname.find('.');
  if (hostDot == std::string::npos ||
      !iequals(pattern.substr(patternDot), hostname.substr(hostDot))) {
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
