#include "bittorrent/DefaultPeerStorage.h"

#include <algorithm>
#include <cassert>

#include "bittorrent/BtRuntime.h"
#include "bittorrent/Peer.h"
#include "foundation/LogMacros.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/wallclock.h"
#include "storage/PieceStorage.h"

namespace quarn {

namespace {

using namespace std::chrono_literals;

constexpr auto BAD_PEER_PURGE_INTERVAL = 3600s;
constexpr int64_t MAX_BAN_SECONDS = 600;
constexpr int64_t MIN_BAN_SECONDS = 120;
constexpr auto CHOKE_ROUND_INTERVAL = 10s;

}  // namespace

DefaultPeerStorage::DefaultPeerStorage() : lastBadPeerCleaned_(global::wallclock()) {}

DefaultPeerStorage::~DefaultPeerStorage() {
  assert(uniquePeers_.size() == unusedPeers_.size() + usedPeers_.size());
}

DefaultPeerStorage::Key DefaultPeerStorage::keyOf(const Peer& peer) {
  return {peer.getIPAddress(), peer.getOrigPort()};
}

const char* DefaultPeerStorage::rejection(const Peer& peer) {
  if (uniquePeers_.contains(keyOf(peer))) {
    return "Adding %s:%u is rejected because it has been already added.";
  }
  if (isBadPeer(peer.getIPAddress())) {
    return "Adding %s:%u is rejected because it is marked bad.";
  }
  return nullptr;
}

void DefaultPeerStorage::append(const std::shared_ptr<Peer>& peer) {
  unusedPeers_.push_back(peer);
  uniquePeers_.insert(keyOf(*peer));
}

bool DefaultPeerStorage::addPeer(const std::shared_ptr<Peer>& peer) {
  if (unusedPeers_.size() >= MAX_UNUSED_PEERS) {
    QLOG_DEBUG(fmt("Adding %s:%u is rejected, since unused peer list is full (%lu peers > %lu)",
                   peer->getIPAddress().c_str(), peer->getPort(),
                   static_cast<unsigned long>(unusedPeers_.size()),
                   static_cast<unsigned long>(MAX_UNUSED_PEERS)));
    return false;
  }
  if (const char* why = rejection(*peer)) {
    QLOG_DEBUG(fmt(why, peer->getIPAddress().c_str(), peer->getPort()));
    return false;
  }
  append(peer);
  QLOG_DEBUG(fmt("Now unused peer list contains %lu peers",
                 static_cast<unsigned long>(unusedPeers_.size())));
  return true;
}

void DefaultPeerStorage::addPeer(const std::vector<std::shared_ptr<Peer>>& peers) {
  if (unusedPeers_.size() < MAX_UNUSED_PEERS) {
    for (const auto& peer : peers) {
      if (const char* why = rejection(*peer)) {
        QLOG_DEBUG(fmt(why, peer->getIPAddress().c_str(), peer->getPort()));
        continue;
      }
      QLOG_DEBUG(fmt(_("Adding peer %s:%d"), peer->getIPAddress().c_str(), peer->getPort()));
      append(peer);
    }
  } else {
    for (const auto& peer : peers) {
      QLOG_DEBUG(fmt("Adding %s:%u is rejected, since unused peer list is full (%lu peers > %lu)",
                     peer->getIPAddress().c_str(), peer->getPort(),
                     static_cast<unsigned long>(unusedPeers_.size()),
                     static_cast<unsigned long>(MAX_UNUSED_PEERS)));
    }
  }
  // The newest peers go first when the batch overfilled the list.
  while (unusedPeers_.size() > MAX_UNUSED_PEERS) {
    const auto& peer = unusedPeers_.back();
    uniquePeers_.erase(keyOf(*peer));
    QLOG_DEBUG(fmt("Remove peer %s:%u", peer->getIPAddress().c_str(), peer->getOrigPort()));
    unusedPeers_.pop_back();
  }
  QLOG_DEBUG(fmt("Now unused peer list contains %lu peers",
                 static_cast<unsigned long>(unusedPeers_.size())));
}

std::shared_ptr<Peer> DefaultPeerStorage::addAndCheckoutPeer(const std::shared_ptr<Peer>& peer,
                                                             int64_t cuid) {
  const Key key = keyOf(*peer);
  if (uniquePeers_.contains(key)) {
    auto it = std::find_if(unusedPeers_.begin(), unusedPeers_.end(),
                           [&](const auto& p) { return keyOf(*p) == key; });
    if (it == unusedPeers_.end()) {
      return nullptr;
    }
    unusedPeers_.erase(it);
  } else {
    uniquePeers_.insert(key);
  }
  unusedPeers_.push_front(peer);
  return checkoutPeer(cuid);
}

bool DefaultPeerStorage::isBadPeer(const std::string& ipaddr) {
  auto it = badPeers_.find(ipaddr);
  if (it == badPeers_.end()) {
    return false;
  }
  if (global::wallclock() < it->second) {
    return true;
  }
  badPeers_.erase(it);
  return false;
}

void DefaultPeerStorage::addBadPeer(const std::string& ipaddr) {
  if (lastBadPeerCleaned_.difference(global::wallclock()) >= BAD_PEER_PURGE_INTERVAL) {
    std::erase_if(badPeers_, [](const auto& entry) {
      if (entry.second <= global::wallclock()) {
        QLOG_DEBUG(fmt("Purge %s from bad peer", entry.first.c_str()));
        return true;
      }
      return false;
    });
    lastBadPeerCleaned_ = global::wallclock();
  }
  QLOG_DEBUG(fmt("Added %s as bad peer", ipaddr.c_str()));
  const int64_t r = SimpleRandomizer::getInstance()->getRandomNumber(MAX_BAN_SECONDS + 1);
  badPeers_[ipaddr] =
      Timer(global::wallclock().getTime() + std::chrono::seconds(std::max(r, MIN_BAN_SECONDS)));
}

std::shared_ptr<Peer> DefaultPeerStorage::checkoutPeer(int64_t cuid) {
  if (unusedPeers_.empty()) {
    return nullptr;
  }
  auto peer = unusedPeers_.front();
  unusedPeers_.pop_front();
  if (peer->usedBy() != 0) {
    QLOG_WARN(fmt("CUID#%lld is already set for peer %s:%u", static_cast<long long>(peer->usedBy()),
                  peer->getIPAddress().c_str(), peer->getPort()));
  }
  peer->usedBy(cuid);
  usedPeers_.insert(peer);
  QLOG_DEBUG(fmt("Checkout peer %s:%u to CUID#%lld", peer->getIPAddress().c_str(), peer->getPort(),
                 static_cast<long long>(cuid)));
  return peer;
}

void DefaultPeerStorage::addDroppedPeer(const std::shared_ptr<Peer>& peer) {
  std::erase_if(droppedPeers_, [&](const auto& p) {
    return p->getIPAddress() == peer->getIPAddress() && p->getPort() == peer->getPort();
  });
  droppedPeers_.push_front(peer);
  if (droppedPeers_.size() > MAX_DROPPED_PEERS) {
    droppedPeers_.pop_back();
  }
}

void DefaultPeerStorage::returnPeer(const std::shared_ptr<Peer>& returned) {
  // The argument may be an element of the used set erased below.
  const std::shared_ptr<Peer> peer = returned;
  QLOG_DEBUG(fmt("Peer %s:%u returned from CUID#%lld", peer->getIPAddress().c_str(),
                 peer->getPort(), static_cast<long long>(peer->usedBy())));
  if (usedPeers_.erase(peer) == 0) {
    QLOG_WARN(
        fmt("Cannot find peer %s:%u in usedPeers_", peer->getIPAddress().c_str(), peer->getPort()));
    return;
  }
  if (peer->isActive()) {
    if (peer->isDisconnectedGracefully() && !peer->isIncomingPeer()) {
      peer->startDrop();
      addDroppedPeer(peer);
    }
    // Its upload slot goes to another peer without waiting for the round.
    if (!peer->amChoking() && peer->peerInterested()) {
      executeChoke();
    }
  }
  peer->usedBy(0);
  uniquePeers_.erase(keyOf(*peer));
}

bool DefaultPeerStorage::downloadFinished() const {
  return pieceStorage_ && pieceStorage_->downloadFinished();
}

bool DefaultPeerStorage::chokeRoundIntervalElapsed() {
  const Timer& last =
      downloadFinished() ? seederStateChoke_.getLastRound() : leecherStateChoke_.getLastRound();
  return last.difference(global::wallclock()) >= CHOKE_ROUND_INTERVAL;
}

void DefaultPeerStorage::executeChoke() {
  if (downloadFinished()) {
    seederStateChoke_.executeChoke(usedPeers_);
  } else {
    leecherStateChoke_.executeChoke(usedPeers_);
  }
}

}  // namespace quarn
