#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace quarn {
namespace bittorrent {

// A compact peer is the binary address followed by the big-endian port.
inline constexpr size_t COMPACT_LEN_IPV4 = 6;
inline constexpr size_t COMPACT_LEN_IPV6 = 18;

// Writes the compact form of a numeric address and port to dest (18 bytes
// available); returns 6 or 18, or 0 when address is not a numeric address.
size_t packcompact(unsigned char* dest, const std::string& address, uint16_t port);

// The address text and port of the compact peer at data (4 address bytes for
// AF_INET, 16 otherwise); an empty text and port 0 when it cannot be printed.
std::pair<std::string, uint16_t> unpackcompact(const unsigned char* data, int family);

// 6 for AF_INET, 18 for AF_INET6, 0 for anything else.
size_t getCompactLength(int family);

}  // namespace bittorrent
}  // namespace quarn
