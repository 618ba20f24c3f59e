#pragma once

#include "engine/Command.h"
#include "engine/Event.h"

namespace quarn {

// A command waiting on a descriptor, with the bits it waits for. Error and
// hang-up always wake the command; every ready bit sets the matching flag,
// also when the command did not ask for it.
template <typename SocketEntry, typename EventPoll>
class CommandEvent : public Event<SocketEntry> {
 public:
  CommandEvent(Command* command, int events) : command_(command), events_(events) {}

  void processEvents(int events) override {
    if ((events_ & events) || ((EventPoll::IEV_ERROR | EventPoll::IEV_HUP) & events)) {
      command_->setStatusActive();
    }
    if (EventPoll::IEV_READ & events) {
      command_->readEventReceived();
    }
    if (EventPoll::IEV_WRITE & events) {
      command_->writeEventReceived();
    }
    if (EventPoll::IEV_ERROR & events) {
      command_->errorEventReceived();
    }
    if (EventPoll::IEV_HUP & events) {
      command_->hupEventReceived();
    }
  }

  int getEvents() const override { return events_; }
  void addEvents(int events) { events_ |= events; }
  void removeEvents(int events) { events_ &= ~events; }
  bool eventsEmpty() const { return events_ == 0; }

  void addSelf(SocketEntry* socketEntry) const override { socketEntry->addCommandEvent(*this); }
  void removeSelf(SocketEntry* socketEntry) const override {
    socketEntry->removeCommandEvent(*this);
  }

  Command* getCommand() const { return command_; }

  bool operator==(const CommandEvent& other) const { return command_ == other.command_; }

 private:
  Command* command_;
  int events_;
};

}  // namespace quarn
