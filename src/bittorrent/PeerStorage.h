#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quarn {

class Peer;

// The peers of one torrent: waiting for a connection, connected, recently
// dropped, and the addresses banned for a while.
class PeerStorage {
 public:
  virtual ~PeerStorage() = default;
  // False when the peer was not taken (known, banned or no room).
  virtual bool addPeer(const std::shared_ptr<Peer>& peer) = 0;
  virtual void addPeer(const std::vector<std::shared_ptr<Peer>>& peers) = 0;
  // An incoming connection: the peer is added and checked out at once; null
  // when the same peer is connected already.
  virtual std::shared_ptr<Peer> addAndCheckoutPeer(const std::shared_ptr<Peer>& peer,
                                                   int64_t cuid) = 0;
  virtual size_t countAllPeer() const = 0;
  virtual const std::deque<std::shared_ptr<Peer>>& getDroppedPeers() = 0;
  virtual bool isPeerAvailable() = 0;
  virtual const std::set<std::shared_ptr<Peer>>& getUsedPeers() = 0;
  virtual bool isBadPeer(const std::string& ipaddr) = 0;
  // The address sent data that failed its hash check.
  virtual void addBadPeer(const std::string& ipaddr) = 0;
  virtual std::shared_ptr<Peer> checkoutPeer(int64_t cuid) = 0;
  virtual void returnPeer(const std::shared_ptr<Peer>& peer) = 0;
  virtual bool chokeRoundIntervalElapsed() = 0;
  // A choke round at once.
  virtual void executeChoke() = 0;
};

}  // namespace quarn
