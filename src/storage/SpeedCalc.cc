#include "storage/SpeedCalc.h"

#include <algorithm>

#include "foundation/wallclock.h"

namespace quarn {

namespace {

constexpr auto WINDOW_TIME = std::chrono::seconds(10);
constexpr auto SLOT_TIME = std::chrono::seconds(1);
constexpr auto MIN_AVG_TIME = std::chrono::milliseconds(5);

int64_t elapsedMillis(const Timer& from, const Timer& now) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(from.difference(now)).count();
}

}  // namespace

SpeedCalc::SpeedCalc() : accumulatedLength_(0), bytesWindow_(0), maxSpeed_(0) {}

void SpeedCalc::reset() {
  timeSlots_.clear();
  start_ = global::wallclock();
  accumulatedLength_ = 0;
  bytesWindow_ = 0;
  maxSpeed_ = 0;
}

void SpeedCalc::removeStaleTimeSlot(const Timer& now) {
  while (!timeSlots_.empty() && timeSlots_.front().first.difference(now) > WINDOW_TIME) {
    bytesWindow_ -= timeSlots_.front().second;
    timeSlots_.pop_front();
  }
}

void SpeedCalc::update(size_t bytes) {
  const Timer& now = global::wallclock();
  removeStaleTimeSlot(now);
  if (!timeSlots_.empty() && timeSlots_.back().first.difference(now) < SLOT_TIME) {
    timeSlots_.back().second += bytes;
  } else {
    timeSlots_.emplace_back(now, bytes);
  }
  accumulatedLength_ += bytes;
  bytesWindow_ += bytes;
}

int32_t SpeedCalc::calculateSpeed() {
  const Timer& now = global::wallclock();
  removeStaleTimeSlot(now);
  if (timeSlots_.empty()) {
    return 0;
  }
  int64_t elapsed = std::max<int64_t>(1, elapsedMillis(timeSlots_.front().first, now));
  auto speed = static_cast<int32_t>(bytesWindow_ * 1000 / elapsed);
  maxSpeed_ = std::max(maxSpeed_, speed);
  return speed;
}

int32_t SpeedCalc::calculateNewestSpeed(int seconds) {
  const Timer& now = global::wallclock();
  removeStaleTimeSlot(now);
  uint64_t sum = 0;
  const Timer* oldest = nullptr;
  for (auto it = timeSlots_.rbegin(); it != timeSlots_.rend(); ++it) {
    if (it->first.difference(now) > std::chrono::seconds(seconds)) {
      break;
    }
    sum += it->second;
    oldest = &it->first;
  }
  if (!oldest) {
    return 0;
  }
  int64_t elapsed = std::max<int64_t>(1, elapsedMillis(*oldest, now));
  return static_cast<int32_t>(static_cast<double>(sum) * (1000.0 / static_cast<double>(elapsed)));
}

int32_t SpeedCalc::calculateAvgSpeed() const {
  auto elapsed = start_.difference(global::wallclock());
  if (elapsed < MIN_AVG_TIME) {
    return 0;
  }
  int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  return static_cast<int32_t>(accumulatedLength_ * 1000 / static_cast<uint64_t>(ms));
}

}  // namespace quarn
