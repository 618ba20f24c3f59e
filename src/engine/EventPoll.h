#pragma once

#include <sys/time.h>

#include <memory>

namespace quarn {

class AsyncNameResolver;
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
  // Watches the resolver's sockets on behalf of command until deleted; false
  // when the pair is registered already.
  virtual bool addNameResolver(const std::shared_ptr<AsyncNameResolver>& resolver,
                               Command* command) = 0;
  virtual bool deleteNameResolver(const std::shared_ptr<AsyncNameResolver>& resolver,
                                  Command* command) = 0;
};

}  // namespace quarn
