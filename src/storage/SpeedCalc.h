#pragma once

#include <cstdint>
#include <deque>
#include <utility>

#include "foundation/Timer.h"

namespace quarn {

// Turns a stream of byte counts into a current speed over a sliding window of
// one-second slots, a newest-seconds speed and an average since the start.
class SpeedCalc {
 public:
  SpeedCalc();

  void reset();
  void update(size_t bytes);
  int32_t calculateSpeed();
  int32_t calculateNewestSpeed(int seconds);
  int32_t calculateAvgSpeed() const;
  void removeStaleTimeSlot(const Timer& now);

  int32_t getMaxSpeed() const { return maxSpeed_; }
  uint64_t getAccumulatedLength() const { return accumulatedLength_; }

 private:
  std::deque<std::pair<Timer, uint64_t>> timeSlots_;
  Timer start_;
  uint64_t accumulatedLength_;
  uint64_t bytesWindow_;
  int32_t maxSpeed_;
};

}  // namespace quarn
