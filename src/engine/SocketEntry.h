#pragma once

#include <algorithm>
#include <deque>

namespace quarn {

// The commands registered on one descriptor of a poll. A command has at most
// one record per descriptor; its bits accumulate.
template <typename CommandEvent>
class SocketEntry {
 public:
  explicit SocketEntry(int fd) : fd_(fd) {}

  int getSocket() const { return fd_; }

  void addCommandEvent(const CommandEvent& cev) {
    auto i = std::find(commandEvents_.begin(), commandEvents_.end(), cev);
    if (i == commandEvents_.end()) {
      commandEvents_.push_back(cev);
    } else {
      i->addEvents(cev.getEvents());
    }
  }

  void removeCommandEvent(const CommandEvent& cev) {
    auto i = std::find(commandEvents_.begin(), commandEvents_.end(), cev);
    if (i == commandEvents_.end()) {
      return;
    }
    i->removeEvents(cev.getEvents());
    if (i->eventsEmpty()) {
      commandEvents_.erase(i);
    }
  }

  bool eventEmpty() const { return commandEvents_.empty(); }

  // The OR of every registered record's bits.
  int getEventBits() const {
    int events = 0;
    for (const auto& cev : commandEvents_) {
      events |= cev.getEvents();
    }
    return events;
  }

  void processEvents(int events) {
    for (auto& cev : commandEvents_) {
      cev.processEvents(events);
    }
  }

  const std::deque<CommandEvent>& getCommandEvents() const { return commandEvents_; }

 private:
  int fd_;
  std::deque<CommandEvent> commandEvents_;
};

}  // namespace quarn
