#pragma once

#include <algorithm>
#include <deque>

namespace quarn {

// The commands and name resolvers registered on one descriptor of a poll. A
// command has at most one record per descriptor; its bits accumulate. A
// resolver has at most one record per descriptor.
template <typename CommandEvent, typename ADNSEvent>
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

  void addADNSEvent(const ADNSEvent& aev) {
    if (std::find(adnsEvents_.begin(), adnsEvents_.end(), aev) == adnsEvents_.end()) {
      adnsEvents_.push_back(aev);
    }
  }

  void removeADNSEvent(const ADNSEvent& aev) {
    auto i = std::find(adnsEvents_.begin(), adnsEvents_.end(), aev);
    if (i != adnsEvents_.end()) {
      adnsEvents_.erase(i);
    }
  }

  bool eventEmpty() const { return commandEvents_.empty() && adnsEvents_.empty(); }

  // The OR of every registered record's bits.
  int getEventBits() const {
    int events = 0;
    for (const auto& cev : commandEvents_) {
      events |= cev.getEvents();
    }
    for (const auto& aev : adnsEvents_) {
      events |= aev.getEvents();
    }
    return events;
  }

  void processEvents(int events) {
    for (auto& cev : commandEvents_) {
      cev.processEvents(events);
    }
    for (auto& aev : adnsEvents_) {
      aev.processEvents(events);
    }
  }

  const std::deque<CommandEvent>& getCommandEvents() const { return commandEvents_; }

 private:
  int fd_;
  std::deque<CommandEvent> commandEvents_;
  std::deque<ADNSEvent> adnsEvents_;
};

}  // namespace quarn
