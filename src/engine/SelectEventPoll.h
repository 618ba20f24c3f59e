#pragma once

#include <sys/select.h>

#include <deque>
#include <map>
#include <memory>
#include <utility>

#include "engine/EventPoll.h"

namespace quarn {

// Event poll over select(2). Only descriptors in [0, FD_SETSIZE) can be
// waited for.
class SelectEventPoll : public EventPoll {
 public:
  class CommandEvent {
   public:
    CommandEvent(Command* command, int events) : command_(command), events_(events) {}
    // Wakes the command with the ready bits (interface encoding).
    void processEvents(int events);
    int getEvents() const { return events_; }
    void addEvents(int events) { events_ |= events; }
    void removeEvents(int events) { events_ &= ~events; }
    bool eventsEmpty() const { return events_ == 0; }
    Command* getCommand() const { return command_; }
    bool operator==(const CommandEvent& other) const { return command_ == other.command_; }

   private:
    Command* command_;
    int events_;
  };

  class SocketEntry {
   public:
    explicit SocketEntry(int fd) : fd_(fd) {}
    int getSocket() const { return fd_; }
    void addCommandEvent(Command* command, int events);
    void removeCommandEvent(Command* command, int events);
    bool eventEmpty() const { return commandEvents_.empty(); }
    int getEvents() const;
    void processEvents(int events);

   private:
    int fd_;
    std::deque<CommandEvent> commandEvents_;
  };

  class AsyncNameResolverEntry {
   public:
    AsyncNameResolverEntry(const std::shared_ptr<AsyncNameResolver>& resolver, Command* command)
        : resolver_(resolver), command_(command) {}
    // Adds the resolver's sockets to the sets; the highest descriptor plus 1.
    int getFds(fd_set* rfds, fd_set* wfds) const;
    // Hands the ready sockets to c-ares; a finished look-up wakes the command.
    void process(fd_set* rfds, fd_set* wfds);

   private:
    std::shared_ptr<AsyncNameResolver> resolver_;
    Command* command_;
  };

  SelectEventPoll();
  ~SelectEventPoll() override;

  void poll(const struct timeval& tv) override;
  bool addEvents(int fd, Command* command, EventType events) override;
  bool deleteEvents(int fd, Command* command, EventType events) override;
  bool addNameResolver(const std::shared_ptr<AsyncNameResolver>& resolver,
                       Command* command) override;
  bool deleteNameResolver(const std::shared_ptr<AsyncNameResolver>& resolver,
                          Command* command) override;

 private:
  void updateFdSet();

  fd_set rfdset_;
  fd_set wfdset_;
  int fdmax_;
  std::map<int, SocketEntry> socketEntries_;
  std::map<std::pair<AsyncNameResolver*, Command*>, AsyncNameResolverEntry> nameResolverEntries_;
};

}  // namespace quarn
