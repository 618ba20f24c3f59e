#pragma once

#include <cstdint>

namespace quarn {

using cuid_t = int64_t;

// One unit of work of the event loop. execute() does a bounded step and
// returns true when the command is finished; returning false means the command
// has already handed itself back to the engine (or to another owner).
class Command {
 public:
  enum STATUS {
    STATUS_INACTIVE = 1,
    STATUS_ACTIVE = 2,
    STATUS_REALTIME = 3,
    STATUS_ONESHOT_REALTIME = 4
  };

  explicit Command(cuid_t cuid) : cuid_(cuid) {}
  virtual ~Command() = default;
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  virtual bool execute() = 0;

  cuid_t getCuid() const { return cuid_; }
  STATUS getStatus() const { return status_; }
  void setStatus(STATUS status) { status_ = status; }
  void setStatusActive() { status_ = STATUS_ACTIVE; }
  void setStatusRealtime() { status_ = STATUS_REALTIME; }

  // Real-time commands keep their status; every other status falls back to
  // inactive once the command is about to run.
  void transitStatus();

  void readEventReceived() { readEvent_ = true; }
  void writeEventReceived() { writeEvent_ = true; }
  void errorEventReceived() { errorEvent_ = true; }
  void hupEventReceived() { hupEvent_ = true; }
  void clearIOEvents();

  bool readEventEnabled() const { return readEvent_; }
  bool writeEventEnabled() const { return writeEvent_; }
  bool errorEventEnabled() const { return errorEvent_; }
  bool hupEventEnabled() const { return hupEvent_; }

 private:
  cuid_t cuid_;
  STATUS status_ = STATUS_INACTIVE;
  bool readEvent_ = false;
  bool writeEvent_ = false;
  bool errorEvent_ = false;
  bool hupEvent_ = false;
};

}  // namespace quarn
