#include "engine/SelectEventPoll.h"

#include <algorithm>
#include <cerrno>

#include "engine/Command.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"
#include "net/AsyncNameResolver.h"

namespace quarn {

void SelectEventPoll::CommandEvent::processEvents(int events) {
  if ((events_ & events) || ((EventPoll::EVENT_ERROR | EventPoll::EVENT_HUP) & events)) {
    command_->setStatusActive();
  }
  if (EventPoll::EVENT_READ & events) {
    command_->readEventReceived();
  }
  if (EventPoll::EVENT_WRITE & events) {
    command_->writeEventReceived();
  }
  if (EventPoll::EVENT_ERROR & events) {
    command_->errorEventReceived();
  }
  if (EventPoll::EVENT_HUP & events) {
    command_->hupEventReceived();
  }
}

void SelectEventPoll::SocketEntry::addCommandEvent(Command* command, int events) {
  CommandEvent cev(command, events);
  auto i = std::find(commandEvents_.begin(), commandEvents_.end(), cev);
  if (i == commandEvents_.end()) {
    commandEvents_.push_back(cev);
  } else {
    i->addEvents(events);
  }
}

void SelectEventPoll::SocketEntry::removeCommandEvent(Command* command, int events) {
  CommandEvent cev(command, events);
  auto i = std::find(commandEvents_.begin(), commandEvents_.end(), cev);
  if (i == commandEvents_.end()) {
    return;
  }
  i->removeEvents(events);
  if (i->eventsEmpty()) {
    commandEvents_.erase(i);
  }
}

int SelectEventPoll::SocketEntry::getEvents() const {
  int events = 0;
  for (const auto& cev : commandEvents_) {
    events |= cev.getEvents();
  }
  return events;
}

void SelectEventPoll::SocketEntry::processEvents(int events) {
  for (auto& cev : commandEvents_) {
    cev.processEvents(events);
  }
}

int SelectEventPoll::AsyncNameResolverEntry::getFds(fd_set* rfds, fd_set* wfds) const {
  return resolver_->getFds(rfds, wfds);
}

void SelectEventPoll::AsyncNameResolverEntry::process(fd_set* rfds, fd_set* wfds) {
  resolver_->process(rfds, wfds);
  auto status = resolver_->getStatus();
  if (status == AsyncNameResolver::STATUS_SUCCESS || status == AsyncNameResolver::STATUS_ERROR) {
    command_->setStatusActive();
  }
}

SelectEventPoll::SelectEventPoll() : fdmax_(0) {
  FD_ZERO(&rfdset_);
  FD_ZERO(&wfdset_);
}

SelectEventPoll::~SelectEventPoll() = default;

bool SelectEventPoll::addNameResolver(const std::shared_ptr<AsyncNameResolver>& resolver,
                                      Command* command) {
  auto key = std::make_pair(resolver.get(), command);
  if (nameResolverEntries_.count(key)) {
    return false;
  }
  nameResolverEntries_.emplace(key, AsyncNameResolverEntry(resolver, command));
  return true;
}

bool SelectEventPoll::deleteNameResolver(const std::shared_ptr<AsyncNameResolver>& resolver,
                                         Command* command) {
  return nameResolverEntries_.erase(std::make_pair(resolver.get(), command)) > 0;
}

void SelectEventPoll::poll(const struct timeval& tv) {
  fd_set rfds;
  fd_set wfds;
  int res;
  do {
    rfds = rfdset_;
    wfds = wfdset_;
    int nfds = fdmax_ + 1;
    for (const auto& [key, entry] : nameResolverEntries_) {
      nfds = std::max(nfds, entry.getFds(&rfds, &wfds));
    }
    struct timeval ttv = tv;
    res = select(nfds, &rfds, &wfds, nullptr, &ttv);
  } while (res == -1 && errno == EINTR);
  if (res == -1) {
    int errNum = errno;
    QLOG_INFO(fmt("select error: %s, fdmax: %d", util::safeStrerror(errNum).c_str(), fdmax_));
    // The sets are undefined after a failure: the resolvers see nothing ready.
    FD_ZERO(&rfds);
    FD_ZERO(&wfds);
  } else if (res > 0) {
    for (auto& [fd, entry] : socketEntries_) {
      if (fd < 0 || fd >= FD_SETSIZE) {
        continue;
      }
      int events = 0;
      if (FD_ISSET(fd, &rfds)) {
        events |= EventPoll::EVENT_READ;
      }
      if (FD_ISSET(fd, &wfds)) {
        events |= EventPoll::EVENT_WRITE;
      }
      entry.processEvents(events);
    }
  }
  for (auto& [key, entry] : nameResolverEntries_) {
    entry.process(&rfds, &wfds);
  }
}

void SelectEventPoll::updateFdSet() {
  FD_ZERO(&rfdset_);
  FD_ZERO(&wfdset_);
  fdmax_ = 0;
  for (const auto& [fd, entry] : socketEntries_) {
    if (fd < 0 || fd >= FD_SETSIZE) {
      QLOG_WARN("Detected file descriptor >= FD_SETSIZE or < 0. Download may slow down or fail.");
      continue;
    }
    int events = entry.getEvents();
    if (events & EventPoll::EVENT_READ) {
      FD_SET(fd, &rfdset_);
    }
    if (events & EventPoll::EVENT_WRITE) {
      FD_SET(fd, &wfdset_);
    }
    fdmax_ = std::max(fdmax_, fd);
  }
}

bool SelectEventPoll::addEvents(int fd, Command* command, EventType events) {
  auto i = socketEntries_.find(fd);
  if (i == socketEntries_.end()) {
    i = socketEntries_.emplace(fd, SocketEntry(fd)).first;
  }
  i->second.addCommandEvent(command, events);
  updateFdSet();
  return true;
}

bool SelectEventPoll::deleteEvents(int fd, Command* command, EventType events) {
  auto i = socketEntries_.find(fd);
  if (i == socketEntries_.end()) {
    QLOG_DEBUG(fmt("Socket %d is not found in SocketEntries.", fd));
    return false;
  }
  i->second.removeCommandEvent(command, events);
  if (i->second.eventEmpty()) {
    socketEntries_.erase(i);
  }
  updateFdSet();
  return true;
}

}  // namespace quarn
