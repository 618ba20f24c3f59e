#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "bittorrent/BtObject.h"
#include "engine/EngineService.h"

namespace quarn {

class LpdMessageReceiver;
class UDPTrackerClient;

// The running torrents of one engine by download id, found also by info
// hash, and what all torrents share: the peer and DHT ports, the local peer
// discovery receiver and the UDP tracker client.
class BtRegistry : public EngineService {
 public:
  // Null when nothing is registered under gid.
  BtObject* get(uint64_t gid) const;
  // The context of the first torrent (in gid order) with this 20-byte info
  // hash; an empty pointer when there is none.
  const std::shared_ptr<DownloadContext>& getDownloadContext(const std::string& infoHash) const;
  // Replaces (and destroys) an object already under gid.
  // The contexts of every registered torrent, in gid order.
  std::vector<std::shared_ptr<DownloadContext>> getAllDownloadContext() const;
  void put(uint64_t gid, std::unique_ptr<BtObject> object);
  bool remove(uint64_t gid);

  uint16_t getTcpPort() const { return tcpPort_; }
  void setTcpPort(uint16_t port) { tcpPort_ = port; }
  uint16_t getUdpPort() const { return udpPort_; }
  void setUdpPort(uint16_t port) { udpPort_ = port; }
  const std::shared_ptr<LpdMessageReceiver>& getLpdMessageReceiver() const {
    return lpdMessageReceiver_;
  }
  void setLpdMessageReceiver(std::shared_ptr<LpdMessageReceiver> receiver) {
    lpdMessageReceiver_ = std::move(receiver);
  }
  const std::shared_ptr<UDPTrackerClient>& getUDPTrackerClient() const { return udpTrackerClient_; }
  void setUDPTrackerClient(std::shared_ptr<UDPTrackerClient> client) {
    udpTrackerClient_ = std::move(client);
  }

 private:
  std::map<uint64_t, std::unique_ptr<BtObject>> pool_;
  uint16_t tcpPort_ = 0;
  uint16_t udpPort_ = 0;
  std::shared_ptr<LpdMessageReceiver> lpdMessageReceiver_;
  std::shared_ptr<UDPTrackerClient> udpTrackerClient_;
};

}  // namespace quarn
