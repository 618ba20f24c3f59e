#include "bittorrent/BtSetup.h"

#include <sys/socket.h>

#include <chrono>

#include "bittorrent/ActivePeerConnectionCommand.h"
#include "bittorrent/BtAnnounce.h"
#include "bittorrent/BtObject.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/BtStopDownloadCommand.h"
#include "bittorrent/LpdDispatchMessageCommand.h"
#include "bittorrent/LpdMessageDispatcher.h"
#include "bittorrent/LpdMessageReceiver.h"
#include "bittorrent/LpdReceiveMessageCommand.h"
#include "bittorrent/PeerChokeCommand.h"
#include "bittorrent/PeerListenCommand.h"
#include "bittorrent/SeedCheckCommand.h"
#include "bittorrent/SeedCriteria.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/TorrentDHT.h"
#include "bittorrent/TrackerWatcherCommand.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_range.h"
#include "net/SocketCore.h"
#include "net/util_net.h"
#include "storage/DownloadContext.h"

namespace quarn {

void BtSetup::setup(std::vector<std::unique_ptr<Command>>& commands, RequestGroup* group,
                    DownloadEngine* e, const Option& option) {
  const auto& context = group->getDownloadContext();
  if (!context->hasAttribute(CTX_ATTR_BT)) {
    return;
  }
  auto* registry = e->getService<BtRegistry>();
  BtObject* object = registry ? registry->get(group->getGID()) : nullptr;
  if (!object) {
    return;
  }
  const auto* torrent = bittorrent::getTorrentAttrs(context);
  const bool hasMetadata = !torrent->metadata.empty();

  auto watcher = std::make_unique<TrackerWatcherCommand>(e->newCUID(), group, e);
  watcher->setPeerStorage(object->peerStorage);
  watcher->setPieceStorage(object->pieceStorage);
  watcher->setBtRuntime(object->btRuntime);
  watcher->setBtAnnounce(object->btAnnounce);
  commands.push_back(std::move(watcher));

  if (hasMetadata) {
    auto choker = std::make_unique<PeerChokeCommand>(e->newCUID(), e);
    choker->setPeerStorage(object->peerStorage);
    choker->setBtRuntime(object->btRuntime);
    commands.push_back(std::move(choker));
  }

  auto connector = std::make_unique<ActivePeerConnectionCommand>(
      e->newCUID(), group, e, std::chrono::seconds(hasMetadata ? 10 : 2));
  connector->setBtRuntime(object->btRuntime);
  connector->setPieceStorage(object->pieceStorage);
  connector->setPeerStorage(object->peerStorage);
  connector->setBtAnnounce(object->btAnnounce);
  commands.push_back(std::move(connector));

  if (!hasMetadata || !torrent->privateTorrent) {
    if (auto* dht = e->getService<TorrentDHT>()) {
      dht->createGetPeersCommands(commands, group, object->btRuntime, object->peerStorage);
    }
  }

  if (hasMetadata) {
    auto criteria = std::make_unique<UnionSeedCriteria>();
    bool any = false;
    if (option.defined(PREF_SEED_TIME)) {
      criteria->addSeedCriteria(std::make_unique<TimeSeedCriteria>(
          std::chrono::seconds(static_cast<int64_t>(option.getAsDouble(PREF_SEED_TIME) * 60))));
      any = true;
    }
    const double ratio = option.getAsDouble(PREF_SEED_RATIO);
    if (ratio > 0.0) {
      auto share = std::make_unique<ShareRatioSeedCriteria>(ratio, context);
      share->setPieceStorage(object->pieceStorage);
      share->setBtRuntime(object->btRuntime);
      criteria->addSeedCriteria(std::move(share));
      any = true;
    }
    if (any) {
      auto check = std::make_unique<SeedCheckCommand>(e->newCUID(), group, e, std::move(criteria));
      check->setPieceStorage(object->pieceStorage);
      check->setBtRuntime(object->btRuntime);
      commands.push_back(std::move(check));
    }
  }

  if (registry->getTcpPort() == 0) {
    bindListeners(e, option);
  }
  object->btAnnounce->setTcpPort(registry->getTcpPort());

  if (option.getAsBool(PREF_BT_ENABLE_LPD) && registry->getTcpPort() != 0 &&
      (!hasMetadata || !torrent->privateTorrent)) {
    setupLpd(e, option, *registry, torrent->infoHash, object->btRuntime);
  }

  const int32_t stopTimeout = option.getAsInt(PREF_BT_STOP_TIMEOUT);
  if (stopTimeout >= 1) {
    auto stop = std::make_unique<BtStopDownloadCommand>(e->newCUID(), group, e,
                                                        std::chrono::seconds(stopTimeout));
    stop->setBtRuntime(object->btRuntime);
    stop->setPieceStorage(object->pieceStorage);
    commands.push_back(std::move(stop));
  }
  object->btRuntime->setReady(true);
}

namespace {

constexpr const char LPD_MULTICAST_ADDRESS[] = "239.192.152.143";
constexpr uint16_t LPD_MULTICAST_PORT = 6771;

// The one receiver of the process, on the interface the user named or on
// any; null when it cannot listen.
std::shared_ptr<LpdMessageReceiver> makeLpdReceiver(const Option& option) {
  QLOG_INFO("Initializing LpdMessageReceiver.");
  auto receiver = std::make_shared<LpdMessageReceiver>(LPD_MULTICAST_ADDRESS, LPD_MULTICAST_PORT);
  const std::string& iface = option.get(PREF_BT_LPD_INTERFACE);
  if (iface.empty()) {
    return receiver->init("") ? receiver : nullptr;
  }
  for (const auto& addr : SocketCore::getInterfaceAddress(iface, AF_INET, AI_NUMERICHOST)) {
    const Endpoint endpoint = util::getNumericNameInfo(&addr.su.sa, addr.suLength);
    if (receiver->init(endpoint.addr)) {
      return receiver;
    }
  }
  return nullptr;
}

}  // namespace

void BtSetup::setupLpd(DownloadEngine* e, const Option& option, BtRegistry& registry,
                       const std::string& infoHash, const std::shared_ptr<BtRuntime>& runtime) {
  if (!registry.getLpdMessageReceiver()) {
    if (auto receiver = makeLpdReceiver(option)) {
      registry.setLpdMessageReceiver(receiver);
      QLOG_INFO(fmt("LpdMessageReceiver initialized. multicastAddr=%s:%u, localAddr=%s",
                    LPD_MULTICAST_ADDRESS, LPD_MULTICAST_PORT,
                    receiver->getLocalAddress().c_str()));
      e->addCommand(std::make_unique<LpdReceiveMessageCommand>(e->newCUID(), receiver, e));
    } else {
      QLOG_INFO("LpdMessageReceiver not initialized.");
    }
  }
  const auto& receiver = registry.getLpdMessageReceiver();
  if (!receiver) {
    return;
  }
  QLOG_INFO("Initializing LpdMessageDispatcher.");
  auto dispatcher = std::make_shared<LpdMessageDispatcher>(
      infoHash, registry.getTcpPort(), LPD_MULTICAST_ADDRESS, LPD_MULTICAST_PORT);
  if (!dispatcher->init(receiver->getLocalAddress(), 1, 1)) {
    QLOG_INFO("LpdMessageDispatcher not initialized.");
    return;
  }
  QLOG_INFO("LpdMessageDispatcher initialized.");
  auto command = std::make_unique<LpdDispatchMessageCommand>(e->newCUID(), dispatcher, e);
  command->setBtRuntime(runtime);
  e->addCommand(std::move(command));
}

void BtSetup::bindListeners(DownloadEngine* e, const Option& option) {
  auto* registry = e->getService<BtRegistry>();
  std::vector<int> families{AF_INET};
  if (!option.getAsBool(PREF_DISABLE_IPV6)) {
    families.push_back(AF_INET6);
  }
  for (int family : families) {
    auto listener = std::make_unique<PeerListenCommand>(e->newCUID(), e, family);
    // The second family listens on the port the first one got, so peers
    // find us under one number.
    SegList<int> ports;
    if (registry->getTcpPort() != 0) {
      ports.add(registry->getTcpPort(), registry->getTcpPort() + 1);
    } else {
      ports = util::parseIntSegments(option.get(PREF_LISTEN_PORT));
      ports.normalize();
    }
    uint16_t port = 0;
    if (listener->bindPort(port, ports)) {
      registry->setTcpPort(port);
      e->addCommand(std::move(listener));
    }
  }
  if (registry->getTcpPort() == 0) {
    throw DL_ABORT_EX(_("Errors occurred while binding port.\n"));
  }
}

}  // namespace quarn
