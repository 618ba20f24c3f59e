#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quarn {

struct UDPTrackerRequest;

// The tracker side of one torrent: when to announce, to which URL and with
// which event, and what the answer means. Knows nothing of transport.
class BtAnnounce {
 public:
  virtual ~BtAnnounce() = default;

  virtual bool isAnnounceReady() = 0;
  // Empty when no announce is due.
  virtual std::string getAnnounceUrl() = 0;
  // None when no announce is due.
  virtual std::shared_ptr<UDPTrackerRequest> createUDPTrackerRequest(const std::string& remoteAddr,
                                                                     uint16_t remotePort,
                                                                     uint16_t localPort) = 0;
  virtual void announceStart() = 0;
  virtual void announceSuccess() = 0;
  virtual void announceFailure() = 0;
  virtual bool isAllAnnounceFailed() = 0;
  virtual void resetAnnounce() = 0;
  // Applies an HTTP tracker's reply body; DlAbortEx when it is unusable.
  virtual void processAnnounceResponse(const unsigned char* data, size_t length) = 0;
  virtual void processUDPTrackerResponse(const std::shared_ptr<UDPTrackerRequest>& request) = 0;
  // Halting and every started tier told of the stop (or given up).
  virtual bool noMoreAnnounce() = 0;
  virtual void shuffleAnnounce() = 0;
  virtual void overrideMinInterval(std::chrono::seconds interval) = 0;
  virtual void setTcpPort(uint16_t port) = 0;

  static constexpr const char* FAILURE_REASON = "failure reason";
  static constexpr const char* WARNING_MESSAGE = "warning message";
  static constexpr const char* TRACKER_ID = "tracker id";
  static constexpr const char* INTERVAL = "interval";
  static constexpr const char* MIN_INTERVAL = "min interval";
  static constexpr const char* COMPLETE = "complete";
  static constexpr const char* INCOMPLETE = "incomplete";
  static constexpr const char* PEERS = "peers";
  static constexpr const char* PEERS6 = "peers6";

  // A reply body beyond this is refused: no real tracker sends one, and it is
  // held in memory while it is read.
  static constexpr size_t MAX_RESPONSE_LENGTH = 4 * 1024 * 1024;
};

}  // namespace quarn
