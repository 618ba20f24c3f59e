#pragma once

#include <memory>

#include "engine/Command.h"

namespace quarn {

class BtRuntime;
class DownloadEngine;
class PeerStorage;

// Runs the torrent's choke round whenever one is due, until the torrent halts.
class PeerChokeCommand : public Command {
 public:
  PeerChokeCommand(cuid_t cuid, DownloadEngine* engine) : Command(cuid), engine_(engine) {}

  bool execute() override;

  void setPeerStorage(std::shared_ptr<PeerStorage> storage) { peerStorage_ = std::move(storage); }
  void setBtRuntime(std::shared_ptr<BtRuntime> runtime) { btRuntime_ = std::move(runtime); }

 private:
  DownloadEngine* engine_;
  std::shared_ptr<PeerStorage> peerStorage_;
  std::shared_ptr<BtRuntime> btRuntime_;
};

}  // namespace quarn
