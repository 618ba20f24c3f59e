#include "dht/DHTPeerAnnounceStorage.h"

#include <algorithm>

#include "dht/DHTPeerAnnounceEntry.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"
#include "foundation/wallclock.h"

namespace quarn {

namespace {

constexpr std::chrono::seconds PEER_ANNOUNCE_TIMEOUT{1800};

std::string key(const unsigned char* infoHash) {
  return std::string(reinterpret_cast<const char*>(infoHash), DHT_ID_LENGTH);
}

}  // namespace

DHTPeerAnnounceStorage::DHTPeerAnnounceStorage() = default;
DHTPeerAnnounceStorage::~DHTPeerAnnounceStorage() = default;

void DHTPeerAnnounceStorage::addPeerAnnounce(const unsigned char* infoHash,
                                             const std::string& ipaddr, uint16_t port) {
  QLOG_DEBUG(fmt("Adding %s:%u to peer announce list: infoHash=%s", ipaddr.c_str(), port,
                 util::toHex(infoHash, DHT_ID_LENGTH).c_str()));
  auto k = key(infoHash);
  auto i = entries_.find(k);
  if (i == entries_.end()) {
    if (entries_.size() >= MAX_INFO_HASHES) {
      evictOldest();
    }
    i = entries_.emplace(k, std::make_shared<DHTPeerAnnounceEntry>(infoHash)).first;
  }
  i->second->addPeerAddrEntry(PeerAddrEntry(ipaddr, port, global::wallclock()));
}

void DHTPeerAnnounceStorage::evictOldest() {
  auto oldest =
      std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
        return a.second->getLastUpdated() < b.second->getLastUpdated();
      });
  entries_.erase(oldest);
}

void DHTPeerAnnounceStorage::getPeers(std::vector<std::shared_ptr<Peer>>& peers,
                                      const unsigned char* infoHash) const {
  if (auto i = entries_.find(key(infoHash)); i != entries_.end()) {
    i->second->getPeers(peers);
  }
}

bool DHTPeerAnnounceStorage::contains(const unsigned char* infoHash) const {
  return entries_.count(key(infoHash)) != 0;
}

void DHTPeerAnnounceStorage::handleTimeout() {
  QLOG_DEBUG(fmt("Now purge peer announces(%lu entries) which are timed out.",
                 static_cast<unsigned long>(entries_.size())));
  std::erase_if(entries_, [](auto& item) {
    item.second->removeStalePeerAddrEntry(PEER_ANNOUNCE_TIMEOUT);
    return item.second->empty();
  });
  QLOG_DEBUG(
      fmt("Currently %lu peer announce entries", static_cast<unsigned long>(entries_.size())));
}

}  // namespace quarn
