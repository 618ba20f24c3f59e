#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quarn {

class Peer;

// The peers of one torrent, as the messages and tracker replies use it.
class PeerStorage {
 public:
  virtual ~PeerStorage() = default;
  // False when the peer was not taken (known, banned or no room).
  virtual bool addPeer(const std::shared_ptr<Peer>& peer) = 0;
  virtual void addPeer(const std::vector<std::shared_ptr<Peer>>& peers) = 0;
  // A choke round at once.
  virtual void executeChoke() = 0;
  // The address sent data that failed its hash check.
  virtual void addBadPeer(const std::string& ipaddr) = 0;
};

}  // namespace quarn
