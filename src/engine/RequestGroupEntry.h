#pragma once

#include <memory>

#include "engine/Command.h"

namespace quarn {

class RequestGroup;

// Queued work of one download (file allocation, integrity check); it counts as
// one command of its download while it lives.
class RequestGroupEntry {
 public:
  RequestGroupEntry(RequestGroup* requestGroup, std::unique_ptr<Command> nextCommand = nullptr);
  virtual ~RequestGroupEntry();
  RequestGroupEntry(const RequestGroupEntry&) = delete;
  RequestGroupEntry& operator=(const RequestGroupEntry&) = delete;

  RequestGroup* getRequestGroup() const { return requestGroup_; }
  Command* getNextCommand() const { return nextCommand_.get(); }
  std::unique_ptr<Command> popNextCommand() { return std::move(nextCommand_); }
  void pushNextCommand(std::unique_ptr<Command> nextCommand) {
    nextCommand_ = std::move(nextCommand);
  }

 private:
  RequestGroup* requestGroup_;
  std::unique_ptr<Command> nextCommand_;
};

}  // namespace quarn
