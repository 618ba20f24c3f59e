#pragma once

#include <poll.h>

#include <map>
#include <memory>
#include <utility>

#include "engine/ADNSEvent.h"
#include "engine/CommandEvent.h"
#include "engine/EventPoll.h"
#include "engine/NameResolverRegistry.h"
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
  using KEvent = Event<KSocketEntry>;
  using KCommandEvent = CommandEvent<KSocketEntry, PollEventPoll>;
  using KADNSEvent = ADNSEvent<KSocketEntry, PollEventPoll>;

  class KSocketEntry : public SocketEntry<KCommandEvent, KADNSEvent> {
   public:
    using SocketEntry<KCommandEvent, KADNSEvent>::SocketEntry;
    struct pollfd getEvents() const;
  };

  PollEventPoll();
  ~PollEventPoll() override;

  void poll(const struct timeval& tv) override;
  bool addEvents(int fd, Command* command, EventType events) override;
  bool deleteEvents(int fd, Command* command, EventType events) override;
  bool addNameResolver(const std::shared_ptr<AsyncNameResolver>& resolver,
                       Command* command) override;
  bool deleteNameResolver(const std::shared_ptr<AsyncNameResolver>& resolver,
                          Command* command) override;

  // Registration of a resolver's socket; events in the internal encoding.
  bool addEvents(int fd, Command* command, int events,
                 const std::shared_ptr<AsyncNameResolver>& resolver);
  bool deleteEvents(int fd, Command* command, const std::shared_ptr<AsyncNameResolver>& resolver);

  static int translateEvents(EventType events);

  int getPollfdCapacity() const { return pollfdCapacity_; }
  int getPollfdCount() const { return pollfdNum_; }

 private:
  bool addEvents(int fd, const KEvent& event);
  bool deleteEvents(int fd, const KEvent& event);
  struct pollfd* findSlot(int fd);

  std::map<int, KSocketEntry> socketEntries_;
  NameResolverRegistry<PollEventPoll> nameResolvers_;
  int pollfdCapacity_;
  int pollfdNum_;
  std::unique_ptr<struct pollfd[]> pollfds_;
};

}  // namespace quarn
