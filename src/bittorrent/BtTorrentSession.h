#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/TorrentSession.h"

namespace quarn {

class BtRegistry;
class BtRuntime;
class PeerStorage;

// A running torrent as its download sees it: the runtime and peers the
// registry holds for it.
class BtTorrentSession : public TorrentSession {
 public:
  BtTorrentSession(BtRegistry* registry, uint64_t gid, std::string infoHash,
                   std::shared_ptr<BtRuntime> runtime, std::shared_ptr<PeerStorage> peerStorage);

  const std::string& getInfoHash() const override { return infoHash_; }
  void setHalt(bool halt) override;
  int32_t getConnections() const override;
  int64_t getUploadLengthAtStartup() const override;
  int countSeeders() const override;
  void release() override;

 private:
  BtRegistry* registry_;
  uint64_t gid_;
  std::string infoHash_;
  std::shared_ptr<BtRuntime> runtime_;
  std::shared_ptr<PeerStorage> peerStorage_;
};

}  // namespace quarn
