#pragma once

#include <memory>

#include "dht/DHTSocketSharer.h"

namespace quarn {

class DownloadEngine;
class UDPTrackerClient;

// Puts the UDP tracker client on a DHT socket: tracker replies go to the
// client, its packets go out through the DHT's connection, and a completed
// announce wakes the command that waits for it at once.
class UDPTrackerSharer : public DHTSocketSharer {
 public:
  UDPTrackerSharer(DownloadEngine* e, std::shared_ptr<UDPTrackerClient> client);

  bool hasWatchers() const override;
  void failAll() override;
  void onDatagram(const unsigned char* data, size_t length, const std::string& host,
                  uint16_t port) override;
  void handleTimeout() override;
  void sendRequests(DHTConnection& connection) override;

  const std::shared_ptr<UDPTrackerClient>& getClient() const { return client_; }

 private:
  DownloadEngine* e_;
  std::shared_ptr<UDPTrackerClient> client_;
};

}  // namespace quarn
