#pragma once

#include <sys/epoll.h>

#include <cstdint>
#include <map>
#include <memory>

#include "engine/CommandEvent.h"
#include "engine/EventPoll.h"
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
  using KCommandEvent = CommandEvent<KSocketEntry, EpollEventPoll>;

  class KSocketEntry : public SocketEntry<KCommandEvent> {
   public:
    using SocketEntry<KCommandEvent>::SocketEntry;
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

  static int translateEvents(EventType events);

  int getResultCapacity() const { return resultCapacity_; }

 private:
  bool addEvents(int fd, const KCommandEvent& event);
  bool deleteEvents(int fd, const KCommandEvent& event);

  std::map<int, KSocketEntry> socketEntries_;
  platform::Epoll epoll_;
  int resultCapacity_;
  std::unique_ptr<struct epoll_event[]> results_;
};

}  // namespace quarn
