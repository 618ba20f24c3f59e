#pragma once

#include <memory>

#include "bittorrent/DHTPortReceiver.h"

namespace quarn {

class DHTNode;
class DHTRoutingTable;
class DHTTaskFactory;
class DHTTaskQueue;

// Takes the DHT port a peer sent over the peer wire: pings that node and,
// while the routing table is a single bucket, looks up the local id so the
// table fills.
class DHTPeerPortHandler : public DHTPortReceiver {
 public:
  DHTPeerPortHandler(std::shared_ptr<DHTNode> localNode, DHTRoutingTable* routingTable,
                     DHTTaskQueue* taskQueue, DHTTaskFactory* taskFactory);

  void onPeerPort(const std::string& address, uint16_t port) override;

 private:
  std::shared_ptr<DHTNode> localNode_;
  DHTRoutingTable* routingTable_;
  DHTTaskQueue* taskQueue_;
  DHTTaskFactory* taskFactory_;
};

}  // namespace quarn
