#include "engine/LingeringCloseCommand.h"

#include <array>

#include "engine/DownloadEngine.h"
#include "foundation/RecoverableException.h"
#include "foundation/wallclock.h"
#include "net/SocketCore.h"

namespace quarn {

LingeringCloseCommand::LingeringCloseCommand(cuid_t cuid, DownloadEngine* e,
                                             std::shared_ptr<SocketCore> socket)
    : Command(cuid), e_(e), socket_(std::move(socket)), start_(global::wallclock()) {
  socket_->shutdownWrite();
  e_->addSocketForReadCheck(socket_->getSockfd(), this);
}

LingeringCloseCommand::~LingeringCloseCommand() {
  e_->deleteSocketForReadCheck(socket_->getSockfd(), this);
}

bool LingeringCloseCommand::execute() {
  if (drain() || start_.difference(global::wallclock()) >= TIMEOUT) {
    return true;
  }
  e_->addCommand(std::unique_ptr<Command>(this));
  return false;
}

bool LingeringCloseCommand::drain() {
  std::array<char, 16384> buf;
  // Bounded per turn, so that a peer that keeps sending cannot hold the loop.
  for (int i = 0; i < 16; ++i) {
    size_t len = buf.size();
    try {
      socket_->readData(buf.data(), len);
    } catch (const RecoverableException&) {
      return true;
    }
    if (len == 0) {
      return !socket_->wantRead();
    }
  }
  return false;
}

}  // namespace quarn
