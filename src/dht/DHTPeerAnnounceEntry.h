#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dht/DHTConstants.h"
#include "foundation/Timer.h"

namespace quarn {

class Peer;

// One address that announced itself for an info hash.
class PeerAddrEntry {
 public:
  PeerAddrEntry(std::string ipaddr, uint16_t port, const Timer& lastUpdated)
      : ipaddr_(std::move(ipaddr)), port_(port), lastUpdated_(lastUpdated) {}

  const std::string& getIPAddress() const { return ipaddr_; }
  uint16_t getPort() const { return port_; }
  const Timer& getLastUpdated() const { return lastUpdated_; }
  void notifyUpdate();

  bool operator==(const PeerAddrEntry& other) const {
    return ipaddr_ == other.ipaddr_ && port_ == other.port_;
  }

 private:
  std::string ipaddr_;
  uint16_t port_;
  Timer lastUpdated_;
};

// The addresses announced for one info hash, in order of first announce.
class DHTPeerAnnounceEntry {
 public:
  // Other hosts choose what they announce, so an info hash keeps at most this
  // many addresses; a new one then replaces the one heard from least recently.
  static constexpr size_t MAX_PEERS = 100;

  explicit DHTPeerAnnounceEntry(const unsigned char* infoHash);

  void addPeerAddrEntry(const PeerAddrEntry& entry);
  // Forgets the addresses not heard from for at least timeout.
  void removeStalePeerAddrEntry(std::chrono::seconds timeout);
  void getPeers(std::vector<std::shared_ptr<Peer>>& peers) const;

  size_t countPeerAddrEntry() const { return peerAddrEntries_.size(); }
  bool empty() const { return peerAddrEntries_.empty(); }
  void notifyUpdate();
  const unsigned char* getInfoHash() const { return infoHash_; }
  const Timer& getLastUpdated() const { return lastUpdated_; }
  const std::vector<PeerAddrEntry>& getPeerAddrEntries() const { return peerAddrEntries_; }

 private:
  unsigned char infoHash_[DHT_ID_LENGTH];
  std::vector<PeerAddrEntry> peerAddrEntries_;
  Timer lastUpdated_;
};

}  // namespace quarn
