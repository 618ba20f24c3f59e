#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "bittorrent/LpdMessage.h"

namespace quarn {
namespace bittorrent {

// The local peer discovery announce of one torrent: a request head naming
// the multicast group, our TCP port and the info hash in hex.
std::string createLpdRequest(const std::string& multicastAddress, uint16_t multicastPort,
                             const std::string& infoHash, uint16_t tcpPort);

// The peer and info hash of an announce datagram from sender; null (with an
// INFO line) when the datagram is not a usable announce.
std::unique_ptr<LpdMessage> parseLpdMessage(std::span<const std::byte> datagram,
                                            const std::string& sender);

}  // namespace bittorrent
}  // namespace quarn
