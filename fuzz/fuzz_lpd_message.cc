// Parses arbitrary bytes as a local peer discovery datagram. An accepted one
// names a 20-byte info hash and a usable port, and our own announce for them
// parses back to the same.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "bittorrent/Peer.h"
#include "bittorrent/lpd_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto m = quarn::bittorrent::parseLpdMessage(std::as_bytes(std::span<const uint8_t>(data, size)),
                                              "192.168.1.5");
  if (!m) {
    return 0;
  }
  if (m->infoHash.size() != 20 || m->peer->getPort() == 0 || !m->peer->isLocalPeer()) {
    abort();
  }
  const auto request =
      quarn::bittorrent::createLpdRequest("239.192.152.143", 6771, m->infoHash, m->peer->getPort());
  auto again = quarn::bittorrent::parseLpdMessage(
      std::as_bytes(std::span<const char>(request.data(), request.size())), "10.0.0.1");
  if (!again || again->infoHash != m->infoHash || again->peer->getPort() != m->peer->getPort()) {
    abort();
  }
  return 0;
}
