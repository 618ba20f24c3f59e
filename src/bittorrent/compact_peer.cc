#include "bittorrent/compact_peer.h"

#include <netinet/in.h>

#include <cstring>

#include "bittorrent/wire_fields.h"
#include "net/net_address.h"

namespace quarn {
namespace bittorrent {

size_t packcompact(unsigned char* dest, const std::string& address, uint16_t port) {
  unsigned char buf[16];
  const size_t len = net::getBinAddr(buf, address);
  if (len == 0) {
    return 0;
  }
  std::memcpy(dest, buf, len);
  setShortIntParam(dest + len, port);
  return len + 2;
}

std::pair<std::string, uint16_t> unpackcompact(const unsigned char* data, int family) {
  const size_t addrLen = family == AF_INET ? 4 : 16;
  char text[INET6_ADDRSTRLEN];
  if (inetNtop(family == AF_INET ? AF_INET : AF_INET6, data, text, sizeof(text)) != 0) {
    return {std::string(), 0};
  }
  return {std::string(text), getShortIntParam(data, addrLen)};
}

size_t getCompactLength(int family) {
  switch (family) {
    case AF_INET:
      return COMPACT_LEN_IPV4;
    case AF_INET6:
      return COMPACT_LEN_IPV6;
    default:
      return 0;
  }
}

}  // namespace bittorrent
}  // namespace quarn
