#pragma once

#include "engine/Command.h"

namespace quarn {

class DownloadEngine;
class Exception;
class RequestGroup;

// A command that runs every turn and keeps the loop from waiting while it
// lives; it counts as one command of its download.
class RealtimeCommand : public Command {
 public:
  RealtimeCommand(cuid_t cuid, RequestGroup* requestGroup, DownloadEngine* e);
  ~RealtimeCommand() override;

  bool execute() final;

 protected:
  virtual bool executeInternal() = 0;
  virtual bool handleException(Exception& e) = 0;

  RequestGroup* getRequestGroup() const { return requestGroup_; }
  DownloadEngine* getDownloadEngine() const { return e_; }

 private:
  RequestGroup* requestGroup_;
  DownloadEngine* e_;
};

}  // namespace quarn
