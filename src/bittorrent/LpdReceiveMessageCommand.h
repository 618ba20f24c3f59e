#pragma once

#include <memory>

#include "engine/Command.h"

namespace quarn {

class DownloadEngine;
class LpdMessageReceiver;

// Hands the peers that local peer discovery hears about to the torrents
// they announced; runs whenever the multicast socket is readable.
class LpdReceiveMessageCommand : public Command {
 public:
  static constexpr int MAX_MESSAGES_PER_TURN = 20;

  LpdReceiveMessageCommand(cuid_t cuid, std::shared_ptr<LpdMessageReceiver> receiver,
                           DownloadEngine* engine);
  ~LpdReceiveMessageCommand() override;

  bool execute() override;

 private:
  std::shared_ptr<LpdMessageReceiver> receiver_;
  DownloadEngine* engine_;
};

}  // namespace quarn
