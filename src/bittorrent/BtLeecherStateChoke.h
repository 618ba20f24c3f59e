#pragma once

#include <memory>
#include <set>

#include "foundation/Timer.h"

namespace quarn {

class Peer;

// Choking while downloading: the three peers that upload to this side
// fastest are unchoked, plus one optimistic unchoke re-planned every third
// round. A round only sets the peers' flags; the peers' turns send the
// messages.
class BtLeecherStateChoke {
 public:
  void executeChoke(const std::set<std::shared_ptr<Peer>>& peers);
  const Timer& getLastRound() const { return lastRound_; }

 private:
  int round_ = 0;
  Timer lastRound_ = Timer::zero();
};

}  // namespace quarn
