#include "engine/EpollEventPoll.h"

#include <cerrno>

#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

uint32_t EpollEventPoll::KSocketEntry::getEvents() const {
  return static_cast<uint32_t>(getEventBits() & (IEV_READ | IEV_WRITE));
}

EpollEventPoll::EpollEventPoll() : resultCapacity_(1024), results_(new struct epoll_event[1024]()) {
  if (!epoll_.good()) {
    QLOG_ERROR(fmt("Failed to create epoll file descriptor: %s",
                   util::safeStrerror(epoll_.getCreateError()).c_str()));
  }
}

EpollEventPoll::~EpollEventPoll() {
  int fd = epoll_.getFd();
  if (int err = epoll_.close()) {
    QLOG_ERROR(fmt("Error occurred while closing epoll file descriptor %d: %s", fd,
                   util::safeStrerror(err).c_str()));
  }
}

void EpollEventPoll::poll(const struct timeval& tv) {
  int timeout = tv.tv_sec * 1000 + tv.tv_usec / 1000;
  int res = epoll_.wait(results_.get(), resultCapacity_, timeout);
  if (res == -1) {
    int errNum = errno;
    QLOG_INFO(fmt("epoll_wait error: %s", util::safeStrerror(errNum).c_str()));
  }
  for (int i = 0; i < res; ++i) {
    const struct epoll_event& ev = results_[i];
    auto entry = socketEntries_.find(ev.data.fd);
    if (entry == socketEntries_.end()) {
      continue;
    }
    // epoll reports error and hang-up whatever was asked; they reach the
    // commands like poll's do.
    int events = static_cast<int>(ev.events & (IEV_READ | IEV_WRITE | IEV_ERROR | IEV_HUP));
    entry->second.processEvents(events);
  }
  nameResolvers_.process(this);
}

int EpollEventPoll::translateEvents(EventType events) {
  int newEvents = 0;
  if (EventPoll::EVENT_READ & events) {
    newEvents |= IEV_READ;
  }
  if (EventPoll::EVENT_WRITE & events) {
    newEvents |= IEV_WRITE;
  }
  if (EventPoll::EVENT_ERROR & events) {
    newEvents |= IEV_ERROR;
  }
  if (EventPoll::EVENT_HUP & events) {
    newEvents |= IEV_HUP;
  }
  return newEvents;
}

bool EpollEventPoll::addEvents(int fd, Command* command, EventType events) {
  return addEvents(fd, KCommandEvent(command, translateEvents(events)));
}

bool EpollEventPoll::addEvents(int fd, const KEvent& event) {
  auto i = socketEntries_.find(fd);
  bool known = i != socketEntries_.end();
  if (!known) {
    i = socketEntries_.emplace(fd, KSocketEntry(fd)).first;
  }
  event.addSelf(&i->second);
  if (static_cast<int>(socketEntries_.size()) > resultCapacity_) {
    resultCapacity_ *= 2;
    results_.reset(new struct epoll_event[resultCapacity_]());
  }
  uint32_t events = i->second.getEvents();
  int err = known ? epoll_.modify(fd, events) : epoll_.add(fd, events);
  if (err != 0) {
    QLOG_DEBUG(fmt("Failed to add socket event %d:%s", fd, util::safeStrerror(err).c_str()));
    return false;
  }
  return true;
}

bool EpollEventPoll::addEvents(int fd, Command* command, int events,
                               const std::shared_ptr<AsyncNameResolver>& resolver) {
  return addEvents(fd, KADNSEvent(resolver, command, fd, events));
}

bool EpollEventPoll::deleteEvents(int fd, Command* command,
                                  const std::shared_ptr<AsyncNameResolver>& resolver) {
  return deleteEvents(fd, KADNSEvent(resolver, command, fd, 0));
}

bool EpollEventPoll::addNameResolver(const std::shared_ptr<AsyncNameResolver>& resolver,
                                     Command* command) {
  return nameResolvers_.add(resolver, command, this);
}

bool EpollEventPoll::deleteNameResolver(const std::shared_ptr<AsyncNameResolver>& resolver,
                                        Command* command) {
  return nameResolvers_.remove(resolver, command, this);
}

bool EpollEventPoll::deleteEvents(int fd, Command* command, EventType events) {
  return deleteEvents(fd, KCommandEvent(command, translateEvents(events)));
}

bool EpollEventPoll::deleteEvents(int fd, const KEvent& event) {
  auto i = socketEntries_.find(fd);
  if (i == socketEntries_.end()) {
    QLOG_DEBUG(fmt("Socket %d is not found in SocketEntries.", fd));
    return false;
  }
  event.removeSelf(&i->second);
  int err;
  if (i->second.eventEmpty()) {
    socketEntries_.erase(i);
    err = epoll_.remove(fd);
    // The kernel forgets a closed descriptor by itself; nothing is left to do.
    if (err == EBADF || err == ENOENT) {
      err = 0;
    }
  } else {
    err = epoll_.modify(fd, i->second.getEvents());
  }
  if (err != 0) {
    QLOG_DEBUG(fmt("Failed to delete socket event:%s", util::safeStrerror(err).c_str()));
    return false;
  }
  return true;
}

}  // namespace quarn
