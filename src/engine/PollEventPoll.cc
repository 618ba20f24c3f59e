#include "engine/PollEventPoll.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

struct pollfd PollEventPoll::KSocketEntry::getEvents() const {
  struct pollfd pfd;
  pfd.fd = getSocket();
  pfd.events = static_cast<short>(getEventBits());
  pfd.revents = 0;
  return pfd;
}

PollEventPoll::PollEventPoll()
    : pollfdCapacity_(1024), pollfdNum_(0), pollfds_(new struct pollfd[1024]()) {}

PollEventPoll::~PollEventPoll() = default;

struct pollfd* PollEventPoll::findSlot(int fd) {
  auto* first = pollfds_.get();
  auto* last = first + pollfdNum_;
  auto* slot = std::find_if(first, last, [fd](const struct pollfd& p) { return p.fd == fd; });
  return slot == last ? nullptr : slot;
}

void PollEventPoll::poll(const struct timeval& tv) {
  int timeout = tv.tv_sec * 1000 + tv.tv_usec / 1000;
  int res;
  while ((res = ::poll(pollfds_.get(), pollfdNum_, timeout)) == -1 && errno == EINTR) {
  }
  if (res > 0) {
    for (int i = 0; i < pollfdNum_; ++i) {
      const struct pollfd& pfd = pollfds_[i];
      if (pfd.revents == 0) {
        continue;
      }
      auto entry = socketEntries_.find(pfd.fd);
      if (entry == socketEntries_.end()) {
        QLOG_DEBUG(fmt("Socket %d is not found in SocketEntries.", pfd.fd));
        continue;
      }
      entry->second.processEvents(pfd.revents);
    }
  } else if (res == -1) {
    int errNum = errno;
    QLOG_INFO(fmt("poll error: %s", util::safeStrerror(errNum).c_str()));
  }
  nameResolvers_.process(this);
}

int PollEventPoll::translateEvents(EventType events) {
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

bool PollEventPoll::addEvents(int fd, Command* command, EventType events) {
  return addEvents(fd, KCommandEvent(command, translateEvents(events)));
}

bool PollEventPoll::addEvents(int fd, const KEvent& event) {
  auto i = socketEntries_.find(fd);
  if (i != socketEntries_.end()) {
    event.addSelf(&i->second);
    if (struct pollfd* slot = findSlot(fd)) {
      *slot = i->second.getEvents();
    }
    return true;
  }
  i = socketEntries_.emplace(fd, KSocketEntry(fd)).first;
  event.addSelf(&i->second);
  if (pollfdNum_ == pollfdCapacity_) {
    int newCapacity = pollfdCapacity_ * 2;
    std::unique_ptr<struct pollfd[]> newPollfds(new struct pollfd[newCapacity]());
    std::copy(pollfds_.get(), pollfds_.get() + pollfdNum_, newPollfds.get());
    pollfds_ = std::move(newPollfds);
    pollfdCapacity_ = newCapacity;
  }
  pollfds_[pollfdNum_++] = i->second.getEvents();
  return true;
}

bool PollEventPoll::addEvents(int fd, Command* command, int events,
                              const std::shared_ptr<AsyncNameResolver>& resolver) {
  return addEvents(fd, KADNSEvent(resolver, command, fd, events));
}

bool PollEventPoll::deleteEvents(int fd, Command* command,
                                 const std::shared_ptr<AsyncNameResolver>& resolver) {
  return deleteEvents(fd, KADNSEvent(resolver, command, fd, 0));
}

bool PollEventPoll::addNameResolver(const std::shared_ptr<AsyncNameResolver>& resolver,
                                    Command* command) {
  return nameResolvers_.add(resolver, command, this);
}

bool PollEventPoll::deleteNameResolver(const std::shared_ptr<AsyncNameResolver>& resolver,
                                       Command* command) {
  return nameResolvers_.remove(resolver, command, this);
}

bool PollEventPoll::deleteEvents(int fd, Command* command, EventType events) {
  return deleteEvents(fd, KCommandEvent(command, translateEvents(events)));
}

bool PollEventPoll::deleteEvents(int fd, const KEvent& event) {
  auto i = socketEntries_.find(fd);
  if (i == socketEntries_.end()) {
    QLOG_DEBUG(fmt("Socket %d is not found in SocketEntries.", fd));
    return false;
  }
  event.removeSelf(&i->second);
  struct pollfd* slot = findSlot(fd);
  if (!i->second.eventEmpty()) {
    if (slot) {
      *slot = i->second.getEvents();
    }
    return true;
  }
  if (slot) {
    struct pollfd* lastSlot = pollfds_.get() + pollfdNum_ - 1;
    if (slot != lastSlot) {
      *slot = *lastSlot;
    }
    --pollfdNum_;
  }
  socketEntries_.erase(i);
  return true;
}

}  // namespace quarn
