#include "bittorrent/UTPexExtensionMessage.h"

#include <sys/socket.h>

#include "bittorrent/Peer.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/compact_peer.h"
#include "foundation/Dict.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/String.h"
#include "foundation/bencode2.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"

namespace quarn {

namespace {

constexpr char SEEDER_FLAG = 0x02;

// The compact entries of peers by address family, with one flag byte per
// entry when flags are wanted.
struct CompactLists {
  std::string v4, v4flags, v6, v6flags;

  void add(const Peer& peer, bool withFlags) {
    unsigned char buf[bittorrent::COMPACT_LEN_IPV6];
    const size_t n = bittorrent::packcompact(buf, peer.getIPAddress(), peer.getPort());
    const char flag = withFlags && peer.isSeeder() ? SEEDER_FLAG : 0;
    if (n == bittorrent::COMPACT_LEN_IPV4) {
      v4.append(reinterpret_cast<char*>(buf), n);
      v4flags += flag;
    } else if (n == bittorrent::COMPACT_LEN_IPV6) {
      v6.append(reinterpret_cast<char*>(buf), n);
      v6flags += flag;
    }
  }
};

void readPeers(const ValueBase* value, int family, std::vector<std::shared_ptr<Peer>>& out) {
  const auto* compact = valueAs<String>(value);
  if (!compact) {
    return;
  }
  const size_t unit = bittorrent::getCompactLength(family);
  const std::string& s = compact->s();
  if (s.size() % unit != 0) {
    return;
  }
  for (size_t i = 0; i < s.size(); i += unit) {
    auto [addr, port] =
        bittorrent::unpackcompact(reinterpret_cast<const unsigned char*>(s.data()) + i, family);
    if (!addr.empty()) {
      out.push_back(std::make_shared<Peer>(addr, port));
    }
  }
}

}  // namespace

UTPexExtensionMessage::UTPexExtensionMessage(uint8_t extensionMessageID)
    : extensionMessageID_(extensionMessageID) {}

UTPexExtensionMessage::~UTPexExtensionMessage() = default;

std::string UTPexExtensionMessage::getPayload() {
  CompactLists fresh;
  for (const auto& peer : freshPeers_) {
    fresh.add(*peer, true);
  }
  CompactLists dropped;
  for (const auto& peer : droppedPeers_) {
    dropped.add(*peer, false);
  }
  Dict dict;
  if (!fresh.v4.empty()) {
    dict.put("added", fresh.v4);
    dict.put("added.f", fresh.v4flags);
  }
  if (!fresh.v6.empty()) {
    dict.put("added6", fresh.v6);
    dict.put("added6.f", fresh.v6flags);
  }
  if (!dropped.v4.empty()) {
    dict.put("dropped", dropped.v4);
  }
  if (!dropped.v6.empty()) {
    dict.put("dropped6", dropped.v6);
  }
  return bencode2::encode(&dict);
}

std::string UTPexExtensionMessage::toString() const {
  return fmt("ut_pex added=%lu, dropped=%lu", static_cast<unsigned long>(freshPeers_.size()),
             static_cast<unsigned long>(droppedPeers_.size()));
}

void UTPexExtensionMessage::doReceivedAction() {
  peerStorage_->addPeer(freshPeers_);
  peerStorage_->addPeer(droppedPeers_);
}

bool UTPexExtensionMessage::addFreshPeer(const std::shared_ptr<Peer>& peer) {
  if (peer->isIncomingPeer() ||
      peer->getFirstContactTime().difference(global::wallclock()) >= interval_) {
    return false;
  }
  freshPeers_.push_back(peer);
  return true;
}

bool UTPexExtensionMessage::addDroppedPeer(const std::shared_ptr<Peer>& peer) {
  if (peer->isIncomingPeer() ||
      peer->getDropStartTime().difference(global::wallclock()) >= interval_) {
    return false;
  }
  droppedPeers_.push_back(peer);
  return true;
}

std::unique_ptr<UTPexExtensionMessage> UTPexExtensionMessage::create(const unsigned char* data,
                                                                     size_t length) {
  auto msg = std::make_unique<UTPexExtensionMessage>(data[0]);
  auto decoded = bencode2::decode(data + 1, length - 1);
  if (const Dict* dict = valueAs<Dict>(decoded)) {
    readPeers(dict->get("added"), AF_INET, msg->freshPeers_);
    readPeers(dict->get("dropped"), AF_INET, msg->droppedPeers_);
    readPeers(dict->get("added6"), AF_INET6, msg->freshPeers_);
    readPeers(dict->get("dropped6"), AF_INET6, msg->droppedPeers_);
  }
  return msg;
}

}  // namespace quarn
