#include "bittorrent/PeerChokeCommand.h"

#include "bittorrent/BtRuntime.h"
#include "bittorrent/PeerStorage.h"
#include "engine/DownloadEngine.h"

namespace quarn {

bool PeerChokeCommand::execute() {
  if (btRuntime_->isHalt()) {
    return true;
  }
  if (peerStorage_->chokeRoundIntervalElapsed()) {
    peerStorage_->executeChoke();
  }
  engine_->addCommand(std::unique_ptr<Command>(this));
  return false;
}

}  // namespace quarn
