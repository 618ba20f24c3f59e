#include "foundation/Timer.h"

namespace quarn {

namespace {

constexpr std::chrono::nanoseconds CLOCK_OFFSET = std::chrono::hours(24);

}  // namespace

Timer::time_point Timer::now() {
  return Clock::now() + CLOCK_OFFSET;
}

Timer::Timer() : tp_(now()) {}

Timer::Timer(const time_point& tp) : tp_(tp) {}

void Timer::reset() {
  tp_ = now();
}

std::chrono::nanoseconds Timer::difference() const {
  return difference(Timer());
}

std::chrono::nanoseconds Timer::difference(const Timer& other) const {
  if (other.tp_ < tp_) {
    return std::chrono::nanoseconds::zero();
  }
  return other.tp_ - tp_;
}

bool Timer::isZero() const {
  return tp_ == time_point();
}

}  // namespace quarn
