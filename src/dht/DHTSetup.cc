#include "dht/DHTSetup.h"

#include <sys/socket.h>

#include <chrono>
#include <optional>

#include "bittorrent/BtRegistry.h"
#include "bittorrent/UDPTrackerClient.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "dht/DHTAutoSaveCommand.h"
#include "dht/DHTBucketRefreshCommand.h"
#include "dht/DHTBucketRefreshTask.h"
#include "dht/DHTConnectionImpl.h"
#include "dht/DHTConstants.h"
#include "dht/DHTEntryPointNameResolveCommand.h"
#include "dht/DHTInteractionCommand.h"
#include "dht/DHTMessageDispatcherImpl.h"
#include "dht/DHTMessageFactoryImpl.h"
#include "dht/DHTMessageReceiver.h"
#include "dht/DHTMessageTracker.h"
#include "dht/DHTNode.h"
#include "dht/DHTPeerAnnounceCommand.h"
#include "dht/DHTPeerAnnounceStorage.h"
#include "dht/DHTPeerPortHandler.h"
#include "dht/DHTRegistry.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTRoutingTableDeserializer.h"
#include "dht/DHTTaskFactoryImpl.h"
#include "dht/DHTTaskQueueImpl.h"
#include "dht/DHTTokenTracker.h"
#include "dht/DHTTokenUpdateCommand.h"
#include "dht/UDPTrackerSharer.h"
#include "engine/DownloadEngine.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/util_range.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

constexpr std::chrono::seconds DHT_TOKEN_UPDATE_INTERVAL{600};
constexpr std::chrono::seconds DHT_BUCKET_REFRESH_CHECK_INTERVAL{300};
constexpr std::chrono::seconds DHT_PEER_ANNOUNCE_CHECK_INTERVAL{300};
constexpr std::chrono::seconds DHT_AUTO_SAVE_INTERVAL{1800};

struct Prefs {
  const Pref* filePath;
  const Pref* listenAddr;
  const Pref* entryPointHost;
  const Pref* entryPointPort;
};

Prefs prefsOf(int family) {
  if (family == AF_INET) {
    return {PREF_DHT_FILE_PATH, PREF_DHT_LISTEN_ADDR, PREF_DHT_ENTRY_POINT_HOST,
            PREF_DHT_ENTRY_POINT_PORT};
  }
  return {PREF_DHT_FILE_PATH6, PREF_DHT_LISTEN_ADDR6, PREF_DHT_ENTRY_POINT_HOST6,
          PREF_DHT_ENTRY_POINT_PORT6};
}

// The saved table; nothing when there is none that can be used.
std::optional<DHTRoutingTableDeserializer> loadRoutingTable(int family, const std::string& path) {
  DHTRoutingTableDeserializer deserializer(family);
  try {
    deserializer.deserialize(path);
    return deserializer;
  } catch (const RecoverableException& e) {
    QLOG_ERROR_EX(fmt("Exception caught while loading DHT routing table from %s", path.c_str()), e);
  }
  return std::nullopt;
}

std::vector<uint16_t> listenPorts(const Option& option) {
  auto segments = util::parseIntSegments(option.get(PREF_DHT_LISTEN_PORT));
  segments.normalize();
  std::vector<uint16_t> ports;
  while (segments.hasNext()) {
    int port = segments.next();
    // 0 (the system's choice) is only reachable from code, not from the
    // option, whose range starts at 1024.
    if (port >= 0 && port <= 65535) {
      ports.push_back(static_cast<uint16_t>(port));
    }
  }
  return ports;
}

// Binds the family's socket: the port the other family has when it has one,
// so that peers find both under one number; else one of "dht-listen-port".
uint16_t bindConnection(DHTConnectionImpl& connection, const Option& option,
                        const std::string& addr, uint16_t sharedPort) {
  uint16_t port = sharedPort;
  bool bound = sharedPort != 0 ? connection.bind(port, addr)
                               : connection.bind(port, addr, listenPorts(option));
  if (!bound) {
    throw DL_ABORT_EX("Error occurred while binding UDP port for DHT");
  }
  return port;
}

// Everything the set-up makes before it is either kept or thrown away.
struct Build {
  DHTRegistry::Data data;
  DHTSetup::Commands normal;
  DHTSetup::Commands routine;
  std::shared_ptr<UDPTrackerClient> udpTrackerClient;
  uint16_t port = 0;
};

void makeObjects(Build& b, DownloadEngine* e, int family, DHTConnectionImpl& connection,
                 BtRegistry* btRegistry) {
  const Option& option = *e->getOption();
  std::chrono::seconds timeout(option.getAsInt(PREF_DHT_MESSAGE_TIMEOUT));
  auto tracker = std::make_shared<DHTMessageTracker>();
  auto routingTable = std::make_unique<DHTRoutingTable>(b.data.localNode);
  auto factory = std::make_unique<DHTMessageFactoryImpl>(family);
  auto dispatcher = std::make_unique<DHTMessageDispatcherImpl>(tracker);
  auto receiver = std::make_unique<DHTMessageReceiver>(tracker);
  auto taskQueue = std::make_unique<DHTTaskQueueImpl>();
  auto taskFactory = std::make_unique<DHTTaskFactoryImpl>();
  auto peerAnnounceStorage = std::make_unique<DHTPeerAnnounceStorage>();
  auto tokenTracker = std::make_unique<DHTTokenTracker>();
  b.udpTrackerClient = std::make_shared<UDPTrackerClient>();

  tracker->setRoutingTable(routingTable.get());
  tracker->setMessageFactory(factory.get());
  dispatcher->setTimeout(timeout);
  receiver->setMessageFactory(factory.get());
  receiver->setRoutingTable(routingTable.get());
  taskFactory->setLocalNode(b.data.localNode);
  taskFactory->setRoutingTable(routingTable.get());
  taskFactory->setMessageDispatcher(dispatcher.get());
  taskFactory->setMessageFactory(factory.get());
  taskFactory->setTaskQueue(taskQueue.get());
  taskFactory->setTimeout(timeout);
  routingTable->setTaskQueue(taskQueue.get());
  routingTable->setTaskFactory(taskFactory.get());
  peerAnnounceStorage->setTaskQueue(taskQueue.get());
  peerAnnounceStorage->setTaskFactory(taskFactory.get());
  factory->setRoutingTable(routingTable.get());
  factory->setConnection(&connection);
  factory->setMessageDispatcher(dispatcher.get());
  factory->setPeerAnnounceStorage(peerAnnounceStorage.get());
  factory->setTokenTracker(tokenTracker.get());
  factory->setLocalNode(b.data.localNode);
  factory->setBtRegistry(btRegistry);

  b.data.routingTable = std::move(routingTable);
  b.data.taskQueue = std::move(taskQueue);
  b.data.taskFactory = std::move(taskFactory);
  b.data.peerAnnounceStorage = std::move(peerAnnounceStorage);
  b.data.tokenTracker = std::move(tokenTracker);
  b.data.messageDispatcher = std::move(dispatcher);
  b.data.messageReceiver = std::move(receiver);
  b.data.messageFactory = std::move(factory);
  b.data.peerPortHandler =
      std::make_unique<DHTPeerPortHandler>(b.data.localNode, b.data.routingTable.get(),
                                           b.data.taskQueue.get(), b.data.taskFactory.get());
}

void makeEntryPointCommand(Build& b, DownloadEngine* e, int family, const Prefs& prefs) {
  const Option& option = *e->getOption();
  if (option.blank(prefs.entryPointHost)) {
    QLOG_INFO("No DHT entry point specified.");
    return;
  }
  std::vector<std::pair<std::string, uint16_t>> entryPoints{
      {option.get(prefs.entryPointHost),
       static_cast<uint16_t>(option.getAsInt(prefs.entryPointPort))}};
  auto command =
      std::make_unique<DHTEntryPointNameResolveCommand>(e->newCUID(), e, family, entryPoints);
  command->setBootstrapEnabled(true);
  command->setTaskQueue(b.data.taskQueue.get());
  command->setTaskFactory(b.data.taskFactory.get());
  command->setRoutingTable(b.data.routingTable.get());
  command->setLocalNode(b.data.localNode);
  b.normal.push_back(std::move(command));
}

void makeInteractionCommand(Build& b, DownloadEngine* e,
                            std::unique_ptr<DHTConnectionImpl> connection) {
  auto command = std::make_unique<DHTInteractionCommand>(e->newCUID(), e);
  command->setMessageDispatcher(b.data.messageDispatcher.get());
  command->setMessageReceiver(b.data.messageReceiver.get());
  command->setTaskQueue(b.data.taskQueue.get());
  command->setReadCheckSocket(connection->getSocket());
  command->setConnection(std::move(connection));
  command->setSocketSharer(std::make_shared<UDPTrackerSharer>(e, b.udpTrackerClient));
  b.routine.push_back(std::move(command));
}

void makePeriodicCommands(Build& b, DownloadEngine* e, int family) {
  auto token = std::make_unique<DHTTokenUpdateCommand>(e->newCUID(), e, DHT_TOKEN_UPDATE_INTERVAL);
  token->setTokenTracker(b.data.tokenTracker.get());
  b.normal.push_back(std::move(token));

  auto refresh =
      std::make_unique<DHTBucketRefreshCommand>(e->newCUID(), e, DHT_BUCKET_REFRESH_CHECK_INTERVAL);
  refresh->setTaskQueue(b.data.taskQueue.get());
  refresh->setRoutingTable(b.data.routingTable.get());
  refresh->setTaskFactory(b.data.taskFactory.get());
  b.normal.push_back(std::move(refresh));

  auto announce =
      std::make_unique<DHTPeerAnnounceCommand>(e->newCUID(), e, DHT_PEER_ANNOUNCE_CHECK_INTERVAL);
  announce->setPeerAnnounceStorage(b.data.peerAnnounceStorage.get());
  b.normal.push_back(std::move(announce));

  auto save = std::make_unique<DHTAutoSaveCommand>(e->newCUID(), e, family, DHT_AUTO_SAVE_INTERVAL);
  save->setLocalNode(b.data.localNode);
  save->setRoutingTable(b.data.routingTable.get());
  b.normal.push_back(std::move(save));
}

// Puts the saved nodes back; with any, every bucket is refreshed at once.
void restoreNodes(Build& b, const std::optional<DHTRoutingTableDeserializer>& saved) {
  if (!saved || saved->getNodes().empty()) {
    return;
  }
  for (const auto& node : saved->getNodes()) {
    b.data.routingTable->addNode(node);
  }
  auto task = b.data.taskFactory->createBucketRefreshTask();
  if (auto* refresh = dynamic_cast<DHTBucketRefreshTask*>(task.get())) {
    refresh->setForceRefresh(true);
  }
  b.data.taskQueue->addPeriodicTask1(task);
}

}  // namespace

std::pair<DHTSetup::Commands, DHTSetup::Commands> DHTSetup::setup(DownloadEngine* e, int family) {
  DHTRegistry& registry = DHTRegistry::of(*e);
  DHTRegistry::Data* data = registry.getData(family);
  if (!data || data->initialized) {
    return {};
  }
  auto* btRegistry = e->getService<BtRegistry>();
  const Option& option = *e->getOption();
  const Prefs prefs = prefsOf(family);
  try {
    Build b;
    auto saved = loadRoutingTable(family, option.get(prefs.filePath));
    b.data.localNode =
        saved && saved->getLocalNode() ? saved->getLocalNode() : std::make_shared<DHTNode>();
    auto connection = std::make_unique<DHTConnectionImpl>(family);
    b.port = bindConnection(*connection, option, option.get(prefs.listenAddr),
                            btRegistry ? btRegistry->getUdpPort() : 0);
    b.data.localNode->setPort(b.port);
    QLOG_DEBUG(fmt("Initialized local node ID=%s",
                   util::toHex(b.data.localNode->getID(), DHT_ID_LENGTH).c_str()));
    makeObjects(b, e, family, *connection, btRegistry);
    makeEntryPointCommand(b, e, family, prefs);
    makeInteractionCommand(b, e, std::move(connection));
    makePeriodicCommands(b, e, family);
    restoreNodes(b, saved);

    b.data.initialized = true;
    *data = std::move(b.data);
    if (btRegistry) {
      if (family == AF_INET) {
        btRegistry->setUDPTrackerClient(b.udpTrackerClient);
      }
      if (btRegistry->getUdpPort() == 0) {
        btRegistry->setUdpPort(b.port);
      }
    }
    return {std::move(b.normal), std::move(b.routine)};
  } catch (const RecoverableException& ex) {
    QLOG_ERROR_EX("Exception caught while initializing DHT functionality. DHT is disabled.", ex);
    // The commands made so far went with the build; they point at it.
    DHTRegistry::clear(*data);
    if (family == AF_INET && btRegistry) {
      btRegistry->setUDPTrackerClient(nullptr);
    }
  }
  return {};
}

}  // namespace quarn
