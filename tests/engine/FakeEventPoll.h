#pragma once

#include <sys/time.h>

#include <functional>
#include <memory>
#include <vector>

#include "engine/EventPoll.h"

namespace quarn {

// Records the time-outs the loop waits with and runs an optional action in
// place of the wait, so loop tests never sleep.
class FakeEventPoll : public EventPoll {
 public:
  void poll(const struct timeval& tv) override {
    waits.push_back(tv.tv_sec * 1000 + tv.tv_usec / 1000);
    if (onPoll) {
      onPoll();
    }
  }
  bool addEvents(int, Command*, EventType) override { return true; }
  bool deleteEvents(int, Command*, EventType) override { return true; }
  bool addNameResolver(const std::shared_ptr<AsyncNameResolver>&, Command*) override {
    return true;
  }
  bool deleteNameResolver(const std::shared_ptr<AsyncNameResolver>&, Command*) override {
    return true;
  }

  std::vector<long> waits;
  std::function<void()> onPoll;
};

}  // namespace quarn
