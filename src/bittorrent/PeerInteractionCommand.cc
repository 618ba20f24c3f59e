#include "bittorrent/PeerInteractionCommand.h"

#include <sys/socket.h>

#include "bittorrent/BtHandshakeMessage.h"
#include "bittorrent/BtMessage.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/DefaultBtInteractive.h"
#include "bittorrent/DefaultBtMessageDispatcher.h"
#include "bittorrent/DefaultBtMessageFactory.h"
#include "bittorrent/DefaultBtMessageReceiver.h"
#include "bittorrent/DefaultBtRequestFactory.h"
#include "bittorrent/DefaultExtensionMessageFactory.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/PeerInitiateConnectionCommand.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/RequestSlot.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/TorrentDHT.h"
#include "bittorrent/UTMetadataRequestFactory.h"
#include "bittorrent/UTMetadataRequestTracker.h"
#include "bittorrent/compact_peer.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DownloadFailureException.h"
#include "net/SocketCore.h"
#include "storage/DownloadContext.h"
#include "storage/PieceStorage.h"

namespace quarn {

namespace {

// Where this peer's DHT port goes: the DHT of the connection's family, when
// it runs; null otherwise.
DHTPortReceiver* dhtPortReceiver(DownloadEngine* e, const Peer& peer) {
  auto* dht = e->getService<TorrentDHT>();
  if (!dht) {
    return nullptr;
  }
  unsigned char compact[bittorrent::COMPACT_LEN_IPV6];
  const bool ipv6 = bittorrent::packcompact(compact, peer.getIPAddress(), peer.getPort()) ==
                    bittorrent::COMPACT_LEN_IPV6;
  return dht->getPortReceiver(ipv6 ? AF_INET6 : AF_INET);
}

}  // namespace

PeerInteractionCommand::PeerInteractionCommand(cuid_t cuid, RequestGroup* requestGroup,
                                               std::shared_ptr<Peer> peer, DownloadEngine* engine,
                                               std::shared_ptr<BtRuntime> btRuntime,
                                               std::shared_ptr<PieceStorage> pieceStorage,
                                               std::shared_ptr<PeerStorage> peerStorage,
                                               std::shared_ptr<SocketCore> socket, Seq sequence,
                                               std::unique_ptr<PeerConnection> peerConnection)
    : PeerAbstractCommand(cuid, std::move(peer), engine, std::move(socket)),
      requestGroup_(requestGroup),
      btRuntime_(std::move(btRuntime)),
      pieceStorage_(std::move(pieceStorage)),
      peerStorage_(std::move(peerStorage)),
      sequence_(sequence) {
  if (sequence_ == SEND_HANDSHAKE) {
    disableReadCheckSocket();
    setWriteCheckSocket(getSocket());
    setTimeout(std::chrono::seconds(getOption().getAsInt(PREF_PEER_CONNECTION_TIMEOUT)));
  }
  wire(std::move(peerConnection));
  btRuntime_->increaseConnections();
  requestGroup_->increaseNumCommand();
}

PeerInteractionCommand::~PeerInteractionCommand() {
  const auto& peer = getPeer();
  if (peer->isActive()) {
    if (peer->getCompletedLength() > 0) {
      pieceStorage_->subtractPieceStats(peer->getBitfield(), peer->getBitfieldLength());
    }
    // The interaction's objects point at the peer's session: they go first.
    btInteractive_.reset();
    peer->releaseSessionResource();
  }
  requestGroup_->decreaseNumCommand();
  btRuntime_->decreaseConnections();
}

const Option& PeerInteractionCommand::getOption() const {
  return *requestGroup_->getOption();
}

void PeerInteractionCommand::wire(std::unique_ptr<PeerConnection> peerConnection) {
  const auto& ctx = requestGroup_->getDownloadContext();
  const auto& peer = getPeer();
  const cuid_t cuid = getCuid();
  const auto* attrs = bittorrent::getTorrentAttrs(ctx);

  const bool metadataGetMode = attrs->metadata.empty();
  auto registry = std::make_unique<ExtensionMessageRegistry>();
  registry->setExtensionMessageID(EXT_UT_PEX, 8);
  registry->setExtensionMessageID(EXT_UT_METADATA, 9);
  auto extFactory = std::make_unique<DefaultExtensionMessageFactory>(peer, registry.get());
  extFactory->setPeerStorage(peerStorage_.get());
  extFactory->setDownloadContext(ctx.get());

  auto factory = std::make_unique<DefaultBtMessageFactory>();
  factory->setCuid(cuid);
  factory->setDownloadContext(ctx.get());
  factory->setPieceStorage(pieceStorage_.get());
  factory->setPeerStorage(peerStorage_.get());
  factory->setExtensionMessageFactory(extFactory.get());
  factory->setPeer(peer);
  if (metadataGetMode) {
    factory->enableMetadataGetMode();
  }

  if (!peerConnection) {
    peerConnection = std::make_unique<PeerConnection>(cuid, peer, getSocket());
  } else if (sequence_ == AWAIT_AND_REPLY_HANDSHAKE && peerConnection->getBufferLength() > 0) {
    // Buffered bytes raise no socket event.
    setStatus(Command::STATUS_ONESHOT_REALTIME);
    getDownloadEngine()->setNoWait(true);
  }
  peerConnection->reserveBuffer((ctx->getNumPieces() + 7) / 8 + 5);

  auto dispatcher = std::make_unique<DefaultBtMessageDispatcher>();
  dispatcher->setCuid(cuid);
  dispatcher->setPeer(peer);
  dispatcher->setDownloadContext(ctx.get());
  dispatcher->setRequestTimeout(
      std::chrono::seconds(getOption().getAsInt(PREF_BT_REQUEST_TIMEOUT)));
  dispatcher->setBtMessageFactory(factory.get());
  dispatcher->setRequestGroupMan(getDownloadEngine()->getRequestGroupMan());
  dispatcher->setPeerConnection(peerConnection.get());

  auto receiver = std::make_unique<DefaultBtMessageReceiver>();
  receiver->setDownloadContext(ctx.get());
  receiver->setPeerConnection(peerConnection.get());
  receiver->setBtMessageDispatcher(dispatcher.get());
  receiver->setBtMessageFactory(factory.get());

  auto requests = std::make_unique<DefaultBtRequestFactory>();
  requests->setPeer(peer);
  requests->setPieceStorage(pieceStorage_.get());
  requests->setBtMessageDispatcher(dispatcher.get());
  requests->setBtMessageFactory(factory.get());
  requests->setCuid(cuid);

  factory->setBtMessageDispatcher(dispatcher.get());
  factory->setBtRequestFactory(requests.get());
  factory->setPeerConnection(peerConnection.get());
  extFactory->setBtMessageDispatcher(dispatcher.get());
  extFactory->setBtMessageFactory(factory.get());

  peer->allocateSessionResource(ctx->getPieceLength(), ctx->getTotalLength());
  peer->setBtMessageDispatcher(dispatcher.get());

  btInteractive_ = std::make_unique<DefaultBtInteractive>(ctx, peer);
  btInteractive_->setBtRuntime(btRuntime_);
  btInteractive_->setPieceStorage(pieceStorage_);
  btInteractive_->setPeerStorage(peerStorage_);
  btInteractive_->setCuid(cuid);
  btInteractive_->setBtMessageReceiver(std::move(receiver));
  auto* dispatcherRaw = dispatcher.get();
  btInteractive_->setDispatcher(std::move(dispatcher));
  btInteractive_->setBtRequestFactory(std::move(requests));
  btInteractive_->setPeerConnection(std::move(peerConnection));
  auto* extFactoryRaw = extFactory.get();
  btInteractive_->setExtensionMessageFactory(std::move(extFactory));
  btInteractive_->setExtensionMessageRegistry(std::move(registry));
  btInteractive_->setKeepAliveInterval(
      std::chrono::seconds(getOption().getAsInt(PREF_BT_KEEP_ALIVE_INTERVAL)));
  btInteractive_->setRequestGroupMan(getDownloadEngine()->getRequestGroupMan());
  DefaultBtMessageFactory* messageFactory = factory.get();
  if (auto* registryService = getDownloadEngine()->getService<BtRegistry>()) {
    btInteractive_->setTcpPort(registryService->getTcpPort());
  }
  // A private torrent's peers come from its trackers only.
  const bool privateTorrent = !metadataGetMode && attrs->privateTorrent;
  if (!privateTorrent && !peer->isLocalPeer()) {
    btInteractive_->setUTPexEnabled(getOption().getAsBool(PREF_ENABLE_PEER_EXCHANGE));
    if (auto* portReceiver = dhtPortReceiver(getDownloadEngine(), *peer)) {
      // The handshake then says we speak DHT, and the peer learns our port.
      messageFactory->setDHTEnabled(true);
      messageFactory->setDHTPortReceiver(portReceiver);
      btInteractive_->setDHTEnabled(true);
      btInteractive_->setLocalNodePort(getDownloadEngine()->getService<BtRegistry>()->getUdpPort());
    }
  }
  if (metadataGetMode) {
    auto tracker = std::make_unique<UTMetadataRequestTracker>();
    auto metadataRequests = std::make_unique<UTMetadataRequestFactory>();
    metadataRequests->setCuid(cuid);
    metadataRequests->setDownloadContext(ctx.get());
    metadataRequests->setBtMessageDispatcher(dispatcherRaw);
    metadataRequests->setBtMessageFactory(factory.get());
    metadataRequests->setPeer(peer);
    metadataRequests->setUTMetadataRequestTracker(tracker.get());
    extFactoryRaw->setUTMetadataRequestTracker(tracker.get());
    btInteractive_->setUTMetadataRequestTracker(std::move(tracker));
    btInteractive_->setUTMetadataRequestFactory(std::move(metadataRequests));
    btInteractive_->enableMetadataGetMode();
  }
  btInteractive_->setBtMessageFactory(std::move(factory));
}

bool PeerInteractionCommand::downloadLimitExceeded() const {
  auto* man = getDownloadEngine()->getRequestGroupMan();
  return (man && man->doesOverallDownloadSpeedExceed()) || requestGroup_->doesDownloadSpeedExceed();
}

bool PeerInteractionCommand::uploadLimitExceeded() const {
  auto* man = getDownloadEngine()->getRequestGroupMan();
  return (man && man->doesOverallUploadSpeedExceed()) || requestGroup_->doesUploadSpeedExceed();
}

bool PeerInteractionCommand::executeInternal() {
  setNoCheck(false);
  bool more = true;
  while (more) {
    more = false;
    switch (sequence_) {
      case SEND_HANDSHAKE:
        if (!getSocket()->isWritable(0)) {
          break;
        }
        disableWriteCheckSocket();
        setReadCheckSocket(getSocket());
        setTimeout(std::chrono::seconds(getOption().getAsInt(PREF_BT_TIMEOUT)));
        btInteractive_->initiateHandshake();
        sequence_ = AWAIT_HANDSHAKE;
        more = true;
        break;
      case AWAIT_HANDSHAKE:
        if (btInteractive_->countPendingMessage() > 0) {
          btInteractive_->sendPendingMessage();
          if (btInteractive_->countPendingMessage() > 0) {
            break;
          }
        }
        if (!btInteractive_->receiveHandshake()) {
          break;
        }
        btInteractive_->doPostHandshakeProcessing();
        sequence_ = CONNECTED;
        more = true;
        break;
      case AWAIT_AND_REPLY_HANDSHAKE:
        if (!btInteractive_->receiveAndSendHandshake()) {
          break;
        }
        btInteractive_->doPostHandshakeProcessing();
        sequence_ = CONNECTED;
        more = true;
        break;
      case CONNECTED:
        btInteractive_->doInteractionProcessing();
        if (btInteractive_->countReceivedMessageInIteration() > 0) {
          updateKeepAlive();
        }
        if (btInteractive_->isReceiveBoundReached()) {
          // Complete messages wait in our buffer, where no socket event
          // will announce them: run again on the next turn.
          setNoCheck(true);
          setStatus(Command::STATUS_ONESHOT_REALTIME);
          getDownloadEngine()->setNoWait(true);
        } else if (downloadLimitExceeded()) {
          disableReadCheckSocket();
          setNoCheck(true);
        } else {
          setReadCheckSocket(getSocket());
        }
        break;
    }
  }
  if ((btInteractive_->countPendingMessage() > 0 || btInteractive_->isSendingMessageInProgress()) &&
      !uploadLimitExceeded()) {
    setWriteCheckSocket(getSocket());
  } else {
    disableWriteCheckSocket();
  }
  addCommandSelf();
  return false;
}

bool PeerInteractionCommand::prepareForNextPeer(std::chrono::seconds) {
  PeerInitiateConnectionCommand::startReplacement(getDownloadEngine(), requestGroup_, btRuntime_,
                                                  peerStorage_, pieceStorage_);
  return true;
}

void PeerInteractionCommand::onAbort() {
  btInteractive_->cancelAllPiece();
  peerStorage_->returnPeer(getPeer());
}

void PeerInteractionCommand::onFailure(const DownloadFailureException& ex) {
  requestGroup_->setLastErrorCode(ex.getErrorCode(), ex.what());
  requestGroup_->setHaltRequested(true, RequestGroup::SHUTDOWN_SIGNAL);
  getDownloadEngine()->setRefreshInterval(std::chrono::milliseconds(0));
}

bool PeerInteractionCommand::exitBeforeExecute() {
  return btRuntime_->isHalt();
}

}  // namespace quarn
