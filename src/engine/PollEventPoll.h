#pragma once

#include <poll.h>

#include <map>
#include <memory>

#include "engine/CommandEvent.h"
#include "engine/EventPoll.h"
#include "engine/SocketEntry.h"

namespace quarn {

// Event poll over poll(2). The pollfd array is kept ready between turns and
// edited in place: one slot per registered descriptor.
class PollEventPoll : public EventPoll {
 public:
  static constexpr int IEV_READ = POLLIN;
  static constexpr int IEV_WRITE = POLLOUT;
  static constexpr int IEV_ERROR = POLLERR;
  static constexpr int IEV_HUP = POLLHUP;

  class KSocketEntry;
  using KCommandEvent = CommandEvent<KSocketEntry, PollEventPoll>;

  class KSocketEntry : public SocketEntry<KCommandEvent> {
   public:
    using SocketEntry<KCommandEvent>::SocketEntry;
    struct pollfd getEvents() const;
  };

  PollEventPoll();
  ~PollEventPoll() override;

  void poll(const struct timeval& tv) override;
  bool addEvents(int fd, Command* command, EventType events) override;
  bool deleteEvents(int fd, Command* command, EventType events) override;

  static int translateEvents(EventType events);

  int getPollfdCapacity() const { return pollfdCapacity_; }
  int getPollfdCount() const { return pollfdNum_; }

 private:
  bool addEvents(int fd, const KCommandEvent& event);
  bool deleteEvents(int fd, const KCommandEvent& event);
  struct pollfd* findSlot(int fd);

  std::map<int, KSocketEntry> socketEntries_;
  int pollfdCapacity_;
  int pollfdNum_;
  std::unique_ptr<struct pollfd[]> pollfds_;
};

}  // namespace quarn
