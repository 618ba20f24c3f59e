#pragma once

#include <ifaddrs.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace quarn {

struct AddrinfoDeleter {
  void operator()(addrinfo* res) const { freeaddrinfo(res); }
};
// Owns a getaddrinfo result list.
using AddrinfoPtr = std::unique_ptr<addrinfo, AddrinfoDeleter>;

struct IfaddrsDeleter {
  void operator()(ifaddrs* ifa) const { freeifaddrs(ifa); }
};
// Owns a getifaddrs list.
using IfaddrsPtr = std::unique_ptr<ifaddrs, IfaddrsDeleter>;

// Flags added to every getaddrinfo call of the network layer; AI_ADDRCONFIG
// unless start-up finds no configured address of either family.
void setDefaultAIFlags(int flags);
int getDefaultAIFlags();

// getaddrinfo with hints of these fields, the flags OR-ed with the defaults.
int callGetaddrinfo(addrinfo** resPtr, const char* host, const char* service, int family,
                    int sockType, int flags, int protocol);

// 0 on success, -1 when src is not a numeric address of family af.
int inetPton(int af, const char* src, void* dst);
// 0 on success, else getnameinfo's error code.
int inetNtop(int af, const void* src, char* dst, socklen_t size);

namespace net {

// Writes 4 (IPv4) or 16 (IPv6) bytes to dest and returns the count; 0 when ip
// is not a numeric address. Never sends a query.
size_t getBinAddr(void* dest, const std::string& ip);

void checkAddrconfig();
bool getIPv4AddrConfigured();
bool getIPv6AddrConfigured();

// The certificate host-name rule: ipAddrs hold raw 4- or 16-byte addresses.
bool verifyHostname(const std::string& hostname, const std::vector<std::string>& dnsNames,
                    const std::vector<std::string>& ipAddrs, const std::string& commonName);

// True when both texts are numeric addresses of one family agreeing in their
// first bits bits (capped at the address width).
bool inSameCidrBlock(const std::string& ip1, const std::string& ip2, size_t bits);

}  // namespace net

}  // namespace quarn
