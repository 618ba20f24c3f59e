#pragma once

#include <sys/epoll.h>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>

#include "engine/ADNSEvent.h"
#include "engine/CommandEvent.h"
#include "engine/EventPoll.h"
#include "engine/NameResolverRegistry.h"
#include "engine/SocketEntry.h"
#include "platform/Epoll.h"

namespace quarn {

// Event poll over Linux epoll. Registrations change the kernel's interest set
// at once, so a wait passes no change list.
class EpollEventPoll : public EventPoll {
 public:
  static constexpr int IEV_READ = EPOLLIN;
  static constexpr int IEV_WRITE = EPOLLOUT;
  static constexpr int IEV_ERROR = EPOLLERR;
  static constexpr int IEV_HUP = EPOLLHUP;

  class KSocketEntry;
  using KEvent = Event<KSocketEntry>;
  using KCommandEvent = CommandEvent<KSocketEntry, EpollEventPoll>;
  using KADNSEvent = ADNSEvent<KSocketEntry, EpollEventPoll>;

  class KSocketEntry : public SocketEntry<KCommandEvent, KADNSEvent> {
   public:
    using SocketEntry<KCommandEvent, KADNSEvent>::SocketEntry;
    // The epoll interest mask of the entry: read and write as registered.
    uint32_t getEvents() const;
  };

  EpollEventPoll();
  ~EpollEventPoll() override;

  // False when the epoll instance could not be created.
  bool good() const { return epoll_.good(); }

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

  int getResultCapacity() const { return resultCapacity_; }

 private:
  bool addEvents(int fd, const KEvent& event);
  bool deleteEvents(int fd, const KEvent& event);

  std::map<int, KSocketEntry> socketEntries_;
  NameResolverRegistry<EpollEventPoll> nameResolvers_;
  platform::Epoll epoll_;
  int resultCapacity_;
  std::unique_ptr<struct epoll_event[]> results_;
};

}  // namespace quarn
