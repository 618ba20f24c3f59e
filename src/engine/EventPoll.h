#pragma once

#include <sys/time.h>

namespace quarn {

class Command;

// Readiness notification for the event loop. Commands register descriptors
// with the events they wait for; poll() wakes the commands whose events
// arrived by setting their status to active and their event flags.
class EventPoll {
 public:
  enum EventType { EVENT_READ = 1, EVENT_WRITE = 2, EVENT_ERROR = 4, EVENT_HUP = 8 };

  virtual ~EventPoll() = default;

  virtual void poll(const struct timeval& tv) = 0;
  virtual bool addEvents(int fd, Command* command, EventType events) = 0;
  virtual bool deleteEvents(int fd, Command* command, EventType events) = 0;
};

}  // namespace quarn
