#pragma once

#include <deque>
#include <string>

namespace quarn {

// One tier of trackers: the URLs in the order they are tried and the event
// this tier still has to receive.
class AnnounceTier {
 public:
  enum AnnounceEvent {
    STARTED = 0,
    STARTED_AFTER_COMPLETION = 1,
    DOWNLOADING = 2,
    STOPPED = 3,
    COMPLETED = 4,
    SEEDING = 5,
    HALTED = 6,
  };

  explicit AnnounceTier(std::deque<std::string> urls) : urls(std::move(urls)) {}

  // After a successful announce to the tier.
  void nextEvent();
  // After every URL of the tier failed: a failed start is retried later, a
  // failed stop or completion notice is given up.
  void nextEventIfAfterStarted();

  AnnounceEvent event = STARTED;
  std::deque<std::string> urls;
};

}  // namespace quarn
