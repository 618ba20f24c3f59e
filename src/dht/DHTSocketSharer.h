#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarn {

class DHTConnection;

// The other protocol on the DHT's UDP socket (the UDP tracker client, wired
// in by the set-up): it gets every datagram that is not DHT traffic and sends
// its own packets through the same connection on each turn.
class DHTSocketSharer {
 public:
  virtual ~DHTSocketSharer() = default;
  // True while some download waits for an answer from it.
  virtual bool hasWatchers() const = 0;
  // Gives up every request (a forced halt).
  virtual void failAll() = 0;
  virtual void onDatagram(const unsigned char* data, size_t length, const std::string& host,
                          uint16_t port) = 0;
  virtual void handleTimeout() = 0;
  // Sends the packets that are due through the connection.
  virtual void sendRequests(DHTConnection& connection) = 0;
};

}  // namespace quarn
