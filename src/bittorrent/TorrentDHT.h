#pragma once

#include <memory>
#include <vector>

#include "engine/EngineService.h"

namespace quarn {

class BtRuntime;
class Command;
class DHTPortReceiver;
class Option;
class PeerStorage;
class RequestGroup;
class TorrentAttribute;

// What a torrent asks of the DHT. The DHT puts its implementation into the
// engine, so that torrents reach it without depending on it; without one a
// torrent simply runs without the DHT.
class TorrentDHT : public EngineService {
 public:
  // Builds, once per run, the DHT of each address family that a torrent's
  // option enables (IPv6 not when it disables IPv6); a family whose
  // set-up failed is tried again by the next call. The DHT's commands go to
  // the engine.
  virtual void setup(const Option& option) = 0;
  // Pings the DHT nodes a public torrent lists, in each family that runs.
  virtual void addEntryPoints(const TorrentAttribute& torrent) = 0;
  // The peer lookups of one torrent, one per family that runs.
  virtual void createGetPeersCommands(std::vector<std::unique_ptr<Command>>& commands,
                                      RequestGroup* group,
                                      const std::shared_ptr<BtRuntime>& runtime,
                                      const std::shared_ptr<PeerStorage>& peerStorage) = 0;
  // Where the peer wire hands a peer's DHT port; null when that family's DHT
  // does not run.
  virtual DHTPortReceiver* getPortReceiver(int family) = 0;
};

}  // namespace quarn
