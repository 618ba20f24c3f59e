#include "dht/DHTRegistry.h"

#include <sys/socket.h>

#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTMessageFactory.h"
#include "dht/DHTMessageReceiver.h"
#include "dht/DHTNode.h"
#include "dht/DHTPeerAnnounceStorage.h"
#include "dht/DHTPeerPortHandler.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTTaskFactory.h"
#include "dht/DHTTaskQueue.h"
#include "dht/DHTTokenTracker.h"
#include "engine/DownloadEngine.h"

namespace quarn {

DHTRegistry::Data::Data() = default;
DHTRegistry::Data::~Data() = default;
DHTRegistry::Data::Data(Data&&) noexcept = default;
DHTRegistry::Data& DHTRegistry::Data::operator=(Data&&) noexcept = default;

DHTRegistry::DHTRegistry() = default;
DHTRegistry::~DHTRegistry() = default;

DHTRegistry& DHTRegistry::of(DownloadEngine& e) {
  if (auto* registry = e.getService<DHTRegistry>()) {
    return *registry;
  }
  e.setService<DHTRegistry>(std::make_unique<DHTRegistry>());
  return *e.getService<DHTRegistry>();
}

DHTRegistry::Data* DHTRegistry::getData(int family) {
  if (family == AF_INET) {
    return &data_;
  }
  if (family == AF_INET6) {
    return &data6_;
  }
  return nullptr;
}

void DHTRegistry::clear(Data& data) {
  data.initialized = false;
  // It points at the objects below.
  data.peerPortHandler.reset();
  data.localNode.reset();
  data.routingTable.reset();
  data.taskQueue.reset();
  data.taskFactory.reset();
  data.peerAnnounceStorage.reset();
  data.tokenTracker.reset();
  data.messageDispatcher.reset();
  data.messageReceiver.reset();
  data.messageFactory.reset();
}

}  // namespace quarn
