#pragma once

#include <cstdint>

namespace quarn {

// The counters and flags one torrent's commands share: halt, live
// connections, peer limits, readiness and the upload of earlier sessions.
class BtRuntime {
 public:
  int64_t getUploadLengthAtStartup() const { return uploadLengthAtStartup_; }
  void setUploadLengthAtStartup(int64_t length) { uploadLengthAtStartup_ = length; }

  bool isHalt() const { return halt_; }
  void setHalt(bool halt) { halt_ = halt; }

  int32_t getConnections() const { return connections_; }
  void increaseConnections() { ++connections_; }
  void decreaseConnections() { --connections_; }

  // A limit of 0 means no ceiling and no minimum.
  bool lessThanMaxPeers() const { return maxPeers_ == 0 || connections_ < maxPeers_; }
  bool lessThanMinPeers() const { return minPeers_ == 0 || connections_ < minPeers_; }
  int32_t getMaxPeers() const { return maxPeers_; }
  int32_t getMinPeers() const { return minPeers_; }
  // The minimum is 80% of the ceiling, but at least 1 when there is one.
  void setMaxPeers(int32_t maxPeers);

  bool isReady() const { return ready_; }
  void setReady(bool ready) { ready_ = ready; }

 private:
  int64_t uploadLengthAtStartup_ = 0;
  bool halt_ = false;
  int32_t connections_ = 0;
  bool ready_ = false;
  int32_t maxPeers_ = DEFAULT_MAX_PEERS;
  int32_t minPeers_ = DEFAULT_MIN_PEERS;

  static constexpr int32_t DEFAULT_MAX_PEERS = 55;
  static constexpr int32_t DEFAULT_MIN_PEERS = 40;
};

}  // namespace quarn
