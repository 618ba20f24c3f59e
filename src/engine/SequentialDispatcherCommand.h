#pragma once

#include <memory>

#include "engine/Command.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroupMan.h"
#include "storage/SequentialPicker.h"

namespace quarn {

// A routine command that starts a worker command for the next queued entry
// whenever none is being worked on; it ends with the last download or a halt.
template <typename T>
class SequentialDispatcherCommand : public Command {
 public:
  SequentialDispatcherCommand(cuid_t cuid, SequentialPicker<T>* picker, DownloadEngine* e)
      : Command(cuid), picker_(picker), e_(e) {
    setStatusRealtime();
  }

  bool execute() override {
    if (e_->getRequestGroupMan()->downloadFinished() || e_->isHaltRequested()) {
      return true;
    }
    if (picker_->hasNext() && !picker_->isPicked()) {
      e_->addCommand(createCommand(picker_->pickNext()));
      e_->setNoWait(true);
    }
    e_->addRoutineCommand(std::unique_ptr<Command>(this));
    return false;
  }

 protected:
  virtual std::unique_ptr<Command> createCommand(T* entry) = 0;
  DownloadEngine* getDownloadEngine() const { return e_; }

 private:
  SequentialPicker<T>* picker_;
  DownloadEngine* e_;
};

}  // namespace quarn
