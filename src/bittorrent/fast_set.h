#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quarn {
namespace bittorrent {

// The allowed-fast set of the Fast extension for a peer at ipAddress: up to
// fastSetSize distinct piece indexes in the order they were found. Empty when
// the address is not a numeric IPv4 address or there are no pieces.
std::vector<size_t> computeFastSet(const std::string& ipAddress, size_t pieces,
                                   const unsigned char* infoHash, size_t fastSetSize);

}  // namespace bittorrent
}  // namespace quarn
