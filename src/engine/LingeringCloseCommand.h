#pragma once

#include <chrono>
#include <memory>

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class DownloadEngine;
class SocketCore;

// Ends a connection without losing what we sent. Closing a socket while the
// other side's bytes sit unread in it resets the connection, and a reset
// makes the other side's kernel drop the data it has not yet handed to its
// program. So our side is shut for writing at once, whatever the other side
// still sends is read and dropped until it closes too, and only then (or
// after a few seconds) is the socket closed.
class LingeringCloseCommand : public Command {
 public:
  LingeringCloseCommand(cuid_t cuid, DownloadEngine* e, std::shared_ptr<SocketCore> socket);
  ~LingeringCloseCommand() override;

  bool execute() override;

  static constexpr std::chrono::seconds TIMEOUT{3};

 private:
  // True when the other side has closed or the connection failed.
  bool drain();

  DownloadEngine* e_;
  std::shared_ptr<SocketCore> socket_;
  Timer start_;
};

}  // namespace quarn
