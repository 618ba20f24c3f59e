#pragma once

#include <memory>
#include <string>

namespace quarn {

class Peer;

// A peer heard through local peer discovery and the torrent it announced.
struct LpdMessage {
  LpdMessage() = default;
  LpdMessage(std::shared_ptr<Peer> peer, std::string infoHash)
      : peer(std::move(peer)), infoHash(std::move(infoHash)) {}

  std::shared_ptr<Peer> peer;
  // 20 bytes.
  std::string infoHash;
};

}  // namespace quarn
