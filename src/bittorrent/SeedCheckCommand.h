#pragma once

#include <memory>

#include "engine/Command.h"

namespace quarn {

class BtRuntime;
class DownloadEngine;
class PieceStorage;
class RequestGroup;
class SeedCriteria;

// Once the torrent is complete, ends seeding when its criteria are met.
class SeedCheckCommand : public Command {
 public:
  SeedCheckCommand(cuid_t cuid, RequestGroup* requestGroup, DownloadEngine* engine,
                   std::unique_ptr<SeedCriteria> seedCriteria);
  ~SeedCheckCommand() override;

  bool execute() override;

  void setPieceStorage(std::shared_ptr<PieceStorage> storage) {
    pieceStorage_ = std::move(storage);
  }
  void setBtRuntime(std::shared_ptr<BtRuntime> runtime) { btRuntime_ = std::move(runtime); }

 private:
  RequestGroup* requestGroup_;
  DownloadEngine* engine_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  std::shared_ptr<BtRuntime> btRuntime_;
  std::unique_ptr<SeedCriteria> seedCriteria_;
  bool checkStarted_ = false;
};

}  // namespace quarn
