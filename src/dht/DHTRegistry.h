#pragma once

#include <memory>

#include "engine/EngineService.h"

namespace quarn {

class DHTMessageDispatcher;
class DHTMessageFactory;
class DHTMessageReceiver;
class DHTNode;
class DHTPeerAnnounceStorage;
class DHTPeerPortHandler;
class DHTRoutingTable;
class DHTTaskFactory;
class DHTTaskQueue;
class DHTTokenTracker;
class DownloadEngine;

// The DHT objects of each address family for one run, kept by the engine.
// Only the set-up writes them; commands and tasks get plain pointers and are
// destroyed by the engine before its services.
class DHTRegistry : public EngineService {
 public:
  // Owned objects go in reverse order of the fields, so that nothing is left
  // pointing at an object already gone while it is destroyed.
  struct Data {
    bool initialized = false;
    std::shared_ptr<DHTNode> localNode;
    std::unique_ptr<DHTRoutingTable> routingTable;
    std::unique_ptr<DHTTaskQueue> taskQueue;
    std::unique_ptr<DHTTaskFactory> taskFactory;
    std::unique_ptr<DHTPeerAnnounceStorage> peerAnnounceStorage;
    std::unique_ptr<DHTTokenTracker> tokenTracker;
    std::unique_ptr<DHTMessageDispatcher> messageDispatcher;
    std::unique_ptr<DHTMessageReceiver> messageReceiver;
    std::unique_ptr<DHTMessageFactory> messageFactory;
    // Where peers' DHT ports go (the peer wire's port message).
    std::unique_ptr<DHTPeerPortHandler> peerPortHandler;

    Data();
    ~Data();
    Data(Data&&) noexcept;
    Data& operator=(Data&&) noexcept;
  };

  DHTRegistry();
  ~DHTRegistry() override;

  // The engine's registry, made on first use.
  static DHTRegistry& of(DownloadEngine& e);

  const Data& getData() const { return data_; }
  Data& getMutableData() { return data_; }
  const Data& getData6() const { return data6_; }
  Data& getMutableData6() { return data6_; }
  // The record of AF_INET or AF_INET6; null for any other family.
  Data* getData(int family);

  void clearData() { clear(data_); }
  void clearData6() { clear(data6_); }
  static void clear(Data& data);

 private:
  Data data_;
  Data data6_;
};

}  // namespace quarn
