#pragma once

#include <memory>

#include "engine/Command.h"

namespace quarn {

class BtRuntime;
class DownloadEngine;
class LpdMessageDispatcher;

// Announces one torrent to the local network every interval while the
// torrent runs; a send that would block is tried again on the next turns.
class LpdDispatchMessageCommand : public Command {
 public:
  static constexpr int MAX_RETRY = 5;

  LpdDispatchMessageCommand(cuid_t cuid, std::shared_ptr<LpdMessageDispatcher> dispatcher,
                            DownloadEngine* engine);
  ~LpdDispatchMessageCommand() override;

  bool execute() override;
  void setBtRuntime(std::shared_ptr<BtRuntime> runtime) { btRuntime_ = std::move(runtime); }

 private:
  void dispatch();

  std::shared_ptr<LpdMessageDispatcher> dispatcher_;
  DownloadEngine* engine_;
  int32_t tryCount_ = 0;
  std::shared_ptr<BtRuntime> btRuntime_;
};

}  // namespace quarn
