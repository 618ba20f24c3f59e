#include "dht/DHTTorrentSupport.h"

#include <sys/socket.h>

#include "bittorrent/TorrentAttribute.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "dht/DHTEntryPointNameResolveCommand.h"
#include "dht/DHTGetPeersCommand.h"
#include "dht/DHTPeerPortHandler.h"
#include "dht/DHTRegistry.h"
#include "dht/DHTSetup.h"
#include "engine/DownloadEngine.h"

namespace quarn {

namespace {

constexpr int FAMILIES[] = {AF_INET, AF_INET6};

void addToEngine(DownloadEngine* e, std::pair<DHTSetup::Commands, DHTSetup::Commands> commands) {
  e->addCommand(std::move(commands.first));
  for (auto& command : commands.second) {
    e->addRoutineCommand(std::move(command));
  }
}

}  // namespace

void DHTTorrentSupport::setup(const Option& option) {
  DownloadEngine* e = e_;
  if (option.getAsBool(PREF_ENABLE_DHT)) {
    addToEngine(e, DHTSetup().setup(e, AF_INET));
  }
  if (!option.getAsBool(PREF_DISABLE_IPV6) && option.getAsBool(PREF_ENABLE_DHT6)) {
    addToEngine(e, DHTSetup().setup(e, AF_INET6));
  }
}

void DHTTorrentSupport::addEntryPoints(const TorrentAttribute& torrent) {
  DownloadEngine* e = e_;
  if (torrent.privateTorrent || torrent.nodes.empty()) {
    return;
  }
  auto& registry = DHTRegistry::of(*e);
  for (int family : FAMILIES) {
    const auto* data = registry.getData(family);
    if (!data->initialized) {
      continue;
    }
    auto command =
        std::make_unique<DHTEntryPointNameResolveCommand>(e->newCUID(), e, family, torrent.nodes);
    command->setTaskQueue(data->taskQueue.get());
    command->setTaskFactory(data->taskFactory.get());
    command->setRoutingTable(data->routingTable.get());
    command->setLocalNode(data->localNode);
    e->addCommand(std::move(command));
  }
}

void DHTTorrentSupport::createGetPeersCommands(std::vector<std::unique_ptr<Command>>& commands,
                                               RequestGroup* group,
                                               const std::shared_ptr<BtRuntime>& runtime,
                                               const std::shared_ptr<PeerStorage>& peerStorage) {
  DownloadEngine* e = e_;
  auto& registry = DHTRegistry::of(*e);
  for (int family : FAMILIES) {
    const auto* data = registry.getData(family);
    if (!data->initialized) {
      continue;
    }
    auto command = std::make_unique<DHTGetPeersCommand>(e->newCUID(), group, e);
    command->setTaskQueue(data->taskQueue.get());
    command->setTaskFactory(data->taskFactory.get());
    command->setBtRuntime(runtime);
    command->setPeerStorage(peerStorage);
    commands.push_back(std::move(command));
  }
}

DHTPortReceiver* DHTTorrentSupport::getPortReceiver(int family) {
  auto* registry = e_->getService<DHTRegistry>();
  auto* data = registry ? registry->getData(family) : nullptr;
  return data && data->initialized ? data->peerPortHandler.get() : nullptr;
}

namespace dht {

void install(DownloadEngine& engine) {
  engine.setService<TorrentDHT>(std::make_unique<DHTTorrentSupport>(engine));
}

}  // namespace dht
}  // namespace quarn
