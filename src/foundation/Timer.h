#pragma once

#include <chrono>

namespace quarn {

// A point on the monotonic clock. Started timers lie at least a day after the
// zero time point, so a zero timer always looks long expired.
class Timer {
 public:
  using Clock = std::chrono::steady_clock;
  using time_point = std::chrono::time_point<Clock, std::chrono::nanoseconds>;

  // Started now.
  Timer();
  explicit Timer(const time_point& tp);

  static Timer zero() { return Timer(time_point()); }
  // The clock reading that started timers take.
  static time_point now();

  void reset();
  // From this timer to now; 0 when this timer lies in the future.
  std::chrono::nanoseconds difference() const;
  // From this timer to other; 0 when other is earlier.
  std::chrono::nanoseconds difference(const Timer& other) const;
  bool isZero() const;

  const time_point& getTime() const { return tp_; }

  auto operator<=>(const Timer& other) const = default;

 private:
  time_point tp_;
};

}  // namespace quarn
