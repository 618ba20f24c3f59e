#pragma once

#include <memory>
#include <set>

#include "foundation/Timer.h"

namespace quarn {

class Peer;

// Choking while seeding: peers being served now first, then the recently
// unchoked, then the fastest takers; rounds 0 and 1 add an optimistic
// unchoke, round 2 a fourth regular one.
class BtSeederStateChoke {
 public:
  void executeChoke(const std::set<std::shared_ptr<Peer>>& peers);
  const Timer& getLastRound() const { return lastRound_; }

 private:
  int round_ = 0;
  Timer lastRound_ = Timer::zero();
};

}  // namespace quarn
