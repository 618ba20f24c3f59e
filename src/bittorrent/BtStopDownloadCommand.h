#pragma once

#include <chrono>
#include <memory>

#include "engine/TimeBasedCommand.h"
#include "foundation/Timer.h"

namespace quarn {

class BtRuntime;
class PieceStorage;
class RequestGroup;

// Stops a torrent download that received nothing for the timeout.
class BtStopDownloadCommand : public TimeBasedCommand {
 public:
  BtStopDownloadCommand(cuid_t cuid, RequestGroup* requestGroup, DownloadEngine* engine,
                        std::chrono::seconds timeout);

  void setBtRuntime(std::shared_ptr<BtRuntime> runtime) { btRuntime_ = std::move(runtime); }
  void setPieceStorage(std::shared_ptr<PieceStorage> storage) {
    pieceStorage_ = std::move(storage);
  }

 protected:
  void preProcess() override;
  void process() override;

 private:
  RequestGroup* requestGroup_;
  std::chrono::seconds timeout_;
  Timer checkPoint_;
  std::shared_ptr<BtRuntime> btRuntime_;
  std::shared_ptr<PieceStorage> pieceStorage_;
};

}  // namespace quarn
