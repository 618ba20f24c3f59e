#include "net/net_address.h"

#include <cerrno>
#include <cstring>

#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_address.h"
#include "foundation/util_string.h"
#include "net/SockAddr.h"

namespace quarn {

namespace {

int defaultAIFlags = AI_ADDRCONFIG;
bool ipv4AddrConfigured = true;
bool ipv6AddrConfigured = true;

bool isIPv6LinkLocal(const in6_addr& addr) {
  return addr.s6_addr[0] == 0xfe && (addr.s6_addr[1] & 0xc0) == 0x80;
}

// Whether an interface address makes its family usable for outgoing traffic:
// the plain loopback addresses and IPv6 link-local ones do not.
bool isConfiguringAddress(const sockaddr* sa) {
  if (sa->sa_family == AF_INET) {
    auto in = reinterpret_cast<const sockaddr_in*>(sa);
    return in->sin_addr.s_addr != htonl(INADDR_LOOPBACK);
  }
  auto in6 = reinterpret_cast<const sockaddr_in6*>(sa);
  return !IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr) && !isIPv6LinkLocal(in6->sin6_addr);
}

}  // namespace

void setDefaultAIFlags(int flags) {
  defaultAIFlags = flags;
}

int getDefaultAIFlags() {
  return defaultAIFlags;
}

int callGetaddrinfo(addrinfo** resPtr, const char* host, const char* service, int family,
                    int sockType, int flags, int protocol) {
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = sockType;
  hints.ai_flags = flags | defaultAIFlags;
  hints.ai_protocol = protocol;
  return getaddrinfo(host, service, &hints, resPtr);
}

int inetPton(int af, const char* src, void* dst) {
  unsigned char binAddr[16];
  size_t len = net::getBinAddr(binAddr, src);
  if (af == AF_INET6 && len == 16) {
    memcpy(dst, binAddr, 16);
    return 0;
  }
  if (af == AF_INET && len == 4) {
    memcpy(dst, binAddr, 4);
    return 0;
  }
  return -1;
}

int inetNtop(int af, const void* src, char* dst, socklen_t size) {
  sockaddr_union su{};
  socklen_t len;
  if (af == AF_INET) {
    su.in.sin_family = AF_INET;
    memcpy(&su.in.sin_addr, src, sizeof(su.in.sin_addr));
    len = sizeof(su.in);
  } else if (af == AF_INET6) {
    su.in6.sin6_family = AF_INET6;
    memcpy(&su.in6.sin6_addr, src, sizeof(su.in6.sin6_addr));
    len = sizeof(su.in6);
  } else {
    return EAI_FAMILY;
  }
  return getnameinfo(&su.sa, len, dst, size, nullptr, 0, NI_NUMERICHOST);
}

namespace net {

size_t getBinAddr(void* dest, const std::string& ip) {
  addrinfo* raw = nullptr;
  if (callGetaddrinfo(&raw, ip.c_str(), nullptr, AF_UNSPEC, 0, AI_NUMERICHOST, 0) != 0) {
    return 0;
  }
  AddrinfoPtr res(raw);
  for (addrinfo* rp = res.get(); rp; rp = rp->ai_next) {
    if (rp->ai_family == AF_INET6) {
      memcpy(dest, &reinterpret_cast<sockaddr_in6*>(rp->ai_addr)->sin6_addr, 16);
      return 16;
    }
    if (rp->ai_family == AF_INET) {
      memcpy(dest, &reinterpret_cast<sockaddr_in*>(rp->ai_addr)->sin_addr, 4);
      return 4;
    }
  }
  return 0;
}

void checkAddrconfig() {
  QLOG_INFO("Checking configured addresses");
  ipv4AddrConfigured = false;
  ipv6AddrConfigured = false;
  ifaddrs* raw = nullptr;
  if (getifaddrs(&raw) == -1) {
    int errNum = errno;
    QLOG_INFO(fmt("getifaddrs failed. Cause: %s", util::safeStrerror(errNum).c_str()));
    return;
  }
  IfaddrsPtr ifaddr(raw);
  for (ifaddrs* ifa = ifaddr.get(); ifa; ifa = ifa->ifa_next) {
    if (!ifa->ifa_addr) {
      continue;
    }
    int family = ifa->ifa_addr->sa_family;
    socklen_t addrlen;
    if (family == AF_INET) {
      addrlen = sizeof(sockaddr_in);
    } else if (family == AF_INET6) {
      addrlen = sizeof(sockaddr_in6);
    } else {
      continue;
    }
    bool configuring = isConfiguringAddress(ifa->ifa_addr);
    if (configuring) {
      (family == AF_INET ? ipv4AddrConfigured : ipv6AddrConfigured) = true;
    }
    char host[NI_MAXHOST];
    if (getnameinfo(ifa->ifa_addr, addrlen, host, sizeof(host), nullptr, 0, NI_NUMERICHOST) == 0) {
      if (configuring) {
        QLOG_INFO(fmt("Found configured address: %s", host));
      } else {
        QLOG_INFO(fmt("Not considered: %s", host));
      }
    }
  }
  QLOG_INFO(fmt("IPv4 configured=%d, IPv6 configured=%d", ipv4AddrConfigured ? 1 : 0,
                ipv6AddrConfigured ? 1 : 0));
}

bool getIPv4AddrConfigured() {
  return ipv4AddrConfigured;
}

bool getIPv6AddrConfigured() {
  return ipv6AddrConfigured;
}

bool verifyHostname(const std::string& hostname, const std::vector<std::string>& dnsNames,
                    const std::vector<std::string>& ipAddrs, const std::string& commonName) {
  if (util::isNumericHost(hostname)) {
    if (ipAddrs.empty()) {
      return commonName == hostname;
    }
    unsigned char binAddr[16];
    size_t len = getBinAddr(binAddr, hostname);
    if (len == 0) {
      return false;
    }
    for (const auto& ip : ipAddrs) {
      if (ip.size() == len && memcmp(ip.data(), binAddr, len) == 0) {
        return true;
      }
    }
    return false;
  }
  if (dnsNames.empty()) {
    return util::tlsHostnameMatch(commonName, hostname);
  }
  for (const auto& name : dnsNames) {
    if (util::tlsHostnameMatch(name, hostname)) {
      return true;
    }
  }
  return false;
}

bool inSameCidrBlock(const std::string& ip1, const std::string& ip2, size_t bits) {
  unsigned char a[16], b[16];
  size_t len1 = net::getBinAddr(a, ip1);
  if (len1 == 0) {
    return false;
  }
  size_t len2 = net::getBinAddr(b, ip2);
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

}  // namespace net

}  // namespace quarn
