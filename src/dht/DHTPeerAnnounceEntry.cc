#include "dht/DHTPeerAnnounceEntry.h"

#include <algorithm>
#include <cstring>

#include "bittorrent/Peer.h"
#include "foundation/wallclock.h"

namespace quarn {

void PeerAddrEntry::notifyUpdate() {
  lastUpdated_ = global::wallclock();
}

DHTPeerAnnounceEntry::DHTPeerAnnounceEntry(const unsigned char* infoHash)
    : lastUpdated_(global::wallclock()) {
  memcpy(infoHash_, infoHash, DHT_ID_LENGTH);
}

void DHTPeerAnnounceEntry::addPeerAddrEntry(const PeerAddrEntry& entry) {
  notifyUpdate();
  auto i = std::find(peerAddrEntries_.begin(), peerAddrEntries_.end(), entry);
  if (i != peerAddrEntries_.end()) {
    i->notifyUpdate();
    return;
  }
  if (peerAddrEntries_.size() >= MAX_PEERS) {
    peerAddrEntries_.erase(std::min_element(
        peerAddrEntries_.begin(), peerAddrEntries_.end(),
        [](const auto& a, const auto& b) { return a.getLastUpdated() < b.getLastUpdated(); }));
  }
  peerAddrEntries_.push_back(entry);
}

void DHTPeerAnnounceEntry::removeStalePeerAddrEntry(std::chrono::seconds timeout) {
  const Timer& now = global::wallclock();
  std::erase_if(peerAddrEntries_, [&](const PeerAddrEntry& e) {
    return e.getLastUpdated().difference(now) >= timeout;
  });
}

void DHTPeerAnnounceEntry::getPeers(std::vector<std::shared_ptr<Peer>>& peers) const {
  for (const auto& e : peerAddrEntries_) {
    peers.push_back(std::make_shared<Peer>(e.getIPAddress(), e.getPort()));
  }
}

void DHTPeerAnnounceEntry::notifyUpdate() {
  lastUpdated_ = global::wallclock();
}

}  // namespace quarn
