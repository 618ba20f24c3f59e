#include "bittorrent/BtSeederStateChoke.h"

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

struct PeerEntry {
  std::shared_ptr<Peer> peer;
  size_t outstandingUpload;
  Timer lastAmUnchoking;
  bool recentUnchoking;
  int32_t uploadSpeed;
};

PeerEntry makeEntry(const std::shared_ptr<Peer>& peer) {
  const Timer& last = peer->getLastAmUnchoking();
  return {peer, peer->countOutstandingUpload(), last, last.difference(global::wallclock()) < 20s,
          peer->calculateUploadSpeed()};
}

bool before(const PeerEntry& a, const PeerEntry& b) {
  if ((a.outstandingUpload > 0) != (b.outstandingUpload > 0)) {
    return a.outstandingUpload > 0;
  }
  if (a.recentUnchoking && a.lastAmUnchoking > b.lastAmUnchoking) {
    return true;
  }
  if (b.recentUnchoking) {
    return false;
  }
  return a.uploadSpeed > b.uploadSpeed;
}

}  // namespace

void BtSeederStateChoke::executeChoke(const std::set<std::shared_ptr<Peer>>& peers) {
  QLOG_INFO(fmt("Seeder state, %d choke round started", round_));
  lastRound_ = global::wallclock();
  std::vector<PeerEntry> entries;
  for (const auto& peer : peers) {
    if (!peer->isActive()) {
      continue;
    }
    peer->chokingRequired(true);
    if (peer->peerInterested()) {
      entries.push_back(makeEntry(peer));
    } else {
      peer->optUnchoking(false);
    }
  }
  // The ordering is not a strict weak one in every case; a stable sort
  // keeps it from reading out of bounds.
  std::stable_sort(entries.begin(), entries.end(), before);
  const size_t regular = std::min<size_t>(entries.size(), round_ == 2 ? 4 : 3);
  for (size_t i = 0; i < regular; ++i) {
    const auto& peer = entries[i].peer;
    peer->chokingRequired(false);
    QLOG_INFO(fmt("RU: %s:%u, ulspd=%d", peer->getIPAddress().c_str(), peer->getPort(),
                  entries[i].uploadSpeed));
  }
  if (round_ < 2) {
    for (auto& e : entries) {
      e.peer->optUnchoking(false);
    }
    if (regular < entries.size()) {
      std::shuffle(entries.begin() + regular, entries.end(), *SimpleRandomizer::getInstance());
      const auto& peer = entries[regular].peer;
      peer->optUnchoking(true);
      QLOG_INFO(fmt("POU: %s:%u", peer->getIPAddress().c_str(), peer->getPort()));
    }
  }
  round_ = (round_ + 1) % 3;
}

}  // namespace quarn
