#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Timer.h"

namespace quarn {

enum UDPTrackerAction {
  UDPT_ACT_CONNECT = 0,
  UDPT_ACT_ANNOUNCE = 1,
  UDPT_ACT_SCRAPE = 2,
  UDPT_ACT_ERROR = 3,
};

enum UDPTrackerEvent {
  UDPT_EVT_NONE = 0,
  UDPT_EVT_COMPLETED = 1,
  UDPT_EVT_STARTED = 2,
  UDPT_EVT_STOPPED = 3,
};

enum UDPTrackerState { UDPT_STA_PENDING = 0, UDPT_STA_COMPLETE = 1 };

enum UDPTrackerError {
  UDPT_ERR_SUCCESS = 0,
  UDPT_ERR_TRACKER = 1,
  UDPT_ERR_TIMEOUT = 2,
  UDPT_ERR_NETWORK = 3,
  UDPT_ERR_SHUTDOWN = 4,
};

// A UDP tracker's answer to an announce.
struct UDPTrackerReply {
  int32_t action = 0;
  int32_t transactionId = 0;
  int32_t interval = 0;
  int32_t leechers = 0;
  int32_t seeders = 0;
  std::vector<std::pair<std::string, uint16_t>> peers;
};

// One request to a UDP tracker, filled by the torrent's announcer and carried
// out by the UDP tracker client.
struct UDPTrackerRequest {
  std::string remoteAddr;
  uint16_t remotePort = 0;
  int64_t connectionId = 0;
  int32_t action = UDPT_ACT_CONNECT;
  int32_t transactionId = 0;
  std::array<unsigned char, 20> infohash{};
  std::array<unsigned char, 20> peerId{};
  int64_t downloaded = 0;
  int64_t left = 0;
  int64_t uploaded = 0;
  int32_t event = UDPT_EVT_NONE;
  // The four address bytes in network order; 0 for none.
  uint32_t ip = 0;
  uint32_t key = 0;
  int32_t numWant = 0;
  uint16_t port = 0;
  uint16_t extensions = 0;
  int state = UDPT_STA_PENDING;
  int error = UDPT_ERR_SUCCESS;
  Timer dispatched = Timer::zero();
  int failCount = 0;
  std::shared_ptr<UDPTrackerReply> reply;
  // The command to wake when the request completes, or null.
  void* userData = nullptr;
};

}  // namespace quarn
