#include "bittorrent/BtLeecherStateChoke.h"

#include <algorithm>
#include <vector>

#include "bittorrent/Peer.h"
#include "foundation/LogMacros.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"

namespace quarn {

namespace {

using namespace std::chrono_literals;

constexpr size_t REGULAR_UNCHOKES = 3;

struct PeerEntry {
  std::shared_ptr<Peer> peer;
  int32_t downloadSpeed;
  bool regularUnchoker;
};

PeerEntry makeEntry(const std::shared_ptr<Peer>& peer) {
  const bool recent = peer->getLastDownloadUpdate().difference(global::wallclock()) < 30s;
  return {peer, peer->calculateDownloadSpeed(), peer->peerInterested() && recent};
}

void planOptimisticUnchoke(std::vector<PeerEntry>& entries) {
  for (auto& e : entries) {
    e.peer->optUnchoking(false);
  }
  auto end = std::partition(entries.begin(), entries.end(), [](const PeerEntry& e) {
    return e.peer->amChoking() && e.peer->peerInterested();
  });
  if (end == entries.begin()) {
    return;
  }
  std::shuffle(entries.begin(), end, *SimpleRandomizer::getInstance());
  const auto& peer = entries.front().peer;
  peer->optUnchoking(true);
  QLOG_INFO(fmt("POU: %s:%u", peer->getIPAddress().c_str(), peer->getPort()));
}

// True when the optimistic unchoke became a regular one and must be replaced.
bool regularUnchoke(std::vector<PeerEntry>& entries) {
  auto end = std::partition(entries.begin(), entries.end(),
                            [](const PeerEntry& e) { return e.regularUnchoker; });
  std::sort(entries.begin(), end, [](const PeerEntry& a, const PeerEntry& b) {
    return a.downloadSpeed > b.downloadSpeed;
  });
  std::shuffle(end, entries.end(), *SimpleRandomizer::getInstance());
  bool fixOptimistic = false;
  const size_t n = std::min(entries.size(), REGULAR_UNCHOKES);
  for (size_t i = 0; i < n; ++i) {
    const auto& peer = entries[i].peer;
    if (!peer->peerInterested()) {
      continue;
    }
    peer->chokingRequired(false);
    QLOG_INFO(fmt("RU: %s:%u, dlspd=%d", peer->getIPAddress().c_str(), peer->getPort(),
                  entries[i].downloadSpeed));
    if (peer->optUnchoking()) {
      fixOptimistic = true;
      peer->optUnchoking(false);
    }
  }
  return fixOptimistic;
}

}  // namespace

void BtLeecherStateChoke::executeChoke(const std::set<std::shared_ptr<Peer>>& peers) {
  QLOG_INFO(fmt("Leecher state, %d choke round started", round_));
  lastRound_ = global::wallclock();
  std::vector<PeerEntry> entries;
  for (const auto& peer : peers) {
    if (!peer->isActive()) {
      continue;
    }
    peer->chokingRequired(true);
    if (peer->snubbing()) {
      peer->optUnchoking(false);
    } else {
      entries.push_back(makeEntry(peer));
    }
  }
  if (round_ == 0) {
    planOptimisticUnchoke(entries);
  }
  if (regularUnchoke(entries)) {
    for (const auto& e : entries) {
      if (e.peer->peerInterested()) {
        e.peer->optUnchoking(true);
        QLOG_INFO(fmt("OU: %s:%u", e.peer->getIPAddress().c_str(), e.peer->getPort()));
        break;
      }
    }
  }
  round_ = (round_ + 1) % 3;
}

}  // namespace quarn
