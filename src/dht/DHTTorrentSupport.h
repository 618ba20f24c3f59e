#pragma once

#include "bittorrent/TorrentDHT.h"

namespace quarn {

class DownloadEngine;

// The DHT as torrents see it: the set-up of each family, entry points from
// torrent files and per-torrent peer lookups, all over the engine's
// DHTRegistry.
class DHTTorrentSupport : public TorrentDHT {
 public:
  explicit DHTTorrentSupport(DownloadEngine& e) : e_(&e) {}

  void setup(const Option& option) override;
  void addEntryPoints(const TorrentAttribute& torrent) override;
  void createGetPeersCommands(std::vector<std::unique_ptr<Command>>& commands, RequestGroup* group,
                              const std::shared_ptr<BtRuntime>& runtime,
                              const std::shared_ptr<PeerStorage>& peerStorage) override;
  DHTPortReceiver* getPortReceiver(int family) override;

 private:
  DownloadEngine* e_;
};

namespace dht {

// Plugs the DHT into a new engine.
void install(DownloadEngine& engine);

}  // namespace dht
}  // namespace quarn
