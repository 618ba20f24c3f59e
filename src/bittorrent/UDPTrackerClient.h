#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "foundation/Timer.h"

namespace quarn {

struct UDPTrackerRequest;

// Talks the UDP tracker protocol (connect, then announce with the id the
// tracker gave) over a socket it does not own: the owner reads and writes the
// datagrams and calls in. Single-threaded like the engine.
class UDPTrackerClient {
 public:
  enum ConnectionState { CONNECTING = 0, CONNECTED = 1 };

  struct Connection {
    ConnectionState state = CONNECTING;
    int64_t connectionId = 0;
    Timer lastUpdated = Timer::zero();
  };

  UDPTrackerClient() = default;
  // Whatever is still queued completes with SHUTDOWN, so nobody waits forever.
  ~UDPTrackerClient();
  UDPTrackerClient(const UDPTrackerClient&) = delete;
  UDPTrackerClient& operator=(const UDPTrackerClient&) = delete;

  void addRequest(std::shared_ptr<UDPTrackerRequest> request);

  // Writes the next packet to send into data (at least 100 bytes) and its
  // destination into remoteAddr and remotePort; -1 when nothing is to be sent.
  ssize_t createRequest(unsigned char* data, size_t length, std::string& remoteAddr,
                        uint16_t& remotePort, const Timer& now);
  // The packet createRequest made last has been sent, or could not be.
  void requestSent(const Timer& now);
  void requestFail(int error);

  // Handles one datagram from remoteAddr:remotePort: 0 with the completed or
  // connected request in recvReq when it answered one in flight, else -1.
  int receiveReply(std::shared_ptr<UDPTrackerRequest>& recvReq, const unsigned char* data,
                   size_t length, const std::string& remoteAddr, uint16_t remotePort,
                   const Timer& now);

  // Sends again what waited 5 s unanswered once; gives up what waited 10 s
  // after its second send.
  void handleTimeout(const Timer& now);

  // Completes every queued request with SHUTDOWN (a forced halt).
  void failAll();

  void increaseWatchers() { ++numWatchers_; }
  void decreaseWatchers() { --numWatchers_; }
  int getNumWatchers() const { return numWatchers_; }

  const std::deque<std::shared_ptr<UDPTrackerRequest>>& getPendingRequests() const {
    return pendingRequests_;
  }
  const std::deque<std::shared_ptr<UDPTrackerRequest>>& getConnectRequests() const {
    return connectRequests_;
  }
  const std::deque<std::shared_ptr<UDPTrackerRequest>>& getInflightRequests() const {
    return inflightRequests_;
  }

  // The cached connection to addr:port, dropping one that is more than 60 s
  // old; none when there is no usable entry.
  std::optional<Connection> getConnectionId(const std::string& addr, uint16_t port,
                                            const Timer& now);

 private:
  using Key = std::pair<std::string, uint16_t>;

  // Takes the request in flight that the reply (of action) answers.
  std::shared_ptr<UDPTrackerRequest> findInflightRequest(int32_t action, const std::string& addr,
                                                         uint16_t port, int32_t transactionId);
  void failConnect(const std::string& addr, uint16_t port, int error);
  int receiveConnectReply(std::shared_ptr<UDPTrackerRequest>& recvReq, const unsigned char* data,
                          size_t length, const std::string& addr, uint16_t port, const Timer& now);
  int receiveAnnounceReply(std::shared_ptr<UDPTrackerRequest>& recvReq, const unsigned char* data,
                           size_t length, const std::string& addr, uint16_t port);
  int receiveErrorReply(std::shared_ptr<UDPTrackerRequest>& recvReq, const unsigned char* data,
                        size_t length, const std::string& addr, uint16_t port);

  std::map<Key, Connection> connectionIdCache_;
  std::deque<std::shared_ptr<UDPTrackerRequest>> pendingRequests_;
  std::deque<std::shared_ptr<UDPTrackerRequest>> connectRequests_;
  std::deque<std::shared_ptr<UDPTrackerRequest>> inflightRequests_;
  int numWatchers_ = 0;
};

// The packets of one request; data must hold 16 (connect) or 100 (announce)
// bytes. Both return the packet length and copy the destination out.
ssize_t createUDPTrackerConnect(unsigned char* data, size_t length, std::string& remoteAddr,
                                uint16_t& remotePort,
                                const std::shared_ptr<UDPTrackerRequest>& req);
ssize_t createUDPTrackerAnnounce(unsigned char* data, size_t length, std::string& remoteAddr,
                                 uint16_t& remotePort,
                                 const std::shared_ptr<UDPTrackerRequest>& req);

const char* getUDPTrackerActionStr(int action);
const char* getUDPTrackerEventStr(int event);

}  // namespace quarn
