#include "bittorrent/DefaultBtInteractive.h"

#include <cstring>
#include <vector>

#include "bittorrent/BtHandshakeMessage.h"
#include "bittorrent/BtKeepAliveMessage.h"
#include "bittorrent/BtMessage.h"
#include "bittorrent/BtMessageDispatcher.h"
#include "bittorrent/BtMessageFactory.h"
#include "bittorrent/BtMessageReceiver.h"
#include "bittorrent/BtPieceMessage.h"
#include "bittorrent/BtRequestFactory.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/ExtensionMessageFactory.h"
#include "bittorrent/HandshakeExtensionMessage.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/RangeBtMessage.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/UTMetadataRequestFactory.h"
#include "bittorrent/UTMetadataRequestTracker.h"
#include "bittorrent/UTPexExtensionMessage.h"
#include "bittorrent/fast_set.h"
#include "bittorrent/peer_identity.h"
#include "bittorrent/torrent_reader.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/wallclock.h"
#include "storage/DownloadContext.h"
#include "storage/Piece.h"
#include "storage/PieceStorage.h"

namespace quarn {

namespace {

using namespace std::chrono_literals;

constexpr auto FLOODING_CHECK_INTERVAL = 5s;
constexpr auto MAX_IDLE_INTERESTED = 60s;
constexpr auto MAX_IDLE_UNINTERESTED = 30s;
constexpr auto PEX_INTERVAL = 60s;
constexpr uint8_t REQUEST_ID = BtRequestMessage::ID;
constexpr uint8_t PIECE_ID = BtPieceMessage::ID;
constexpr uint8_t KEEP_ALIVE_ID = BtKeepAliveMessage::ID;

bool elapsed(const Timer& since, std::chrono::nanoseconds span) {
  return since.difference(global::wallclock()) >= span;
}

void saturatingIncrement(int32_t& counter) {
  if (counter < INT32_MAX) {
    ++counter;
  }
}

}  // namespace

DefaultBtInteractive::DefaultBtInteractive(std::shared_ptr<DownloadContext> downloadContext,
                                           std::shared_ptr<Peer> peer)
    : downloadContext_(std::move(downloadContext)),
      peer_(std::move(peer)),
      keepAliveTimer_(global::wallclock()),
      floodingTimer_(global::wallclock()),
      inactiveTimer_(global::wallclock()),
      perSecondTimer_(global::wallclock()) {}

DefaultBtInteractive::~DefaultBtInteractive() = default;

void DefaultBtInteractive::setBtMessageReceiver(std::unique_ptr<BtMessageReceiver> receiver) {
  receiver_ = std::move(receiver);
}
void DefaultBtInteractive::setDispatcher(std::unique_ptr<BtMessageDispatcher> dispatcher) {
  dispatcher_ = std::move(dispatcher);
}
void DefaultBtInteractive::setBtRequestFactory(std::unique_ptr<BtRequestFactory> factory) {
  requestFactory_ = std::move(factory);
}
void DefaultBtInteractive::setPeerConnection(std::unique_ptr<PeerConnection> connection) {
  peerConnection_ = std::move(connection);
}
void DefaultBtInteractive::setExtensionMessageFactory(
    std::unique_ptr<ExtensionMessageFactory> factory) {
  extensionMessageFactory_ = std::move(factory);
}
void DefaultBtInteractive::setBtMessageFactory(std::unique_ptr<BtMessageFactory> factory) {
  messageFactory_ = std::move(factory);
}
void DefaultBtInteractive::setExtensionMessageRegistry(
    std::unique_ptr<ExtensionMessageRegistry> registry) {
  extensionMessageRegistry_ = std::move(registry);
}

void DefaultBtInteractive::setUTMetadataRequestTracker(
    std::unique_ptr<UTMetadataRequestTracker> tracker) {
  utMetadataRequestTracker_ = std::move(tracker);
}
void DefaultBtInteractive::setUTMetadataRequestFactory(
    std::unique_ptr<UTMetadataRequestFactory> factory) {
  utMetadataRequestFactory_ = std::move(factory);
}

void DefaultBtInteractive::initiateHandshake() {
  dispatcher_->addMessageToQueue(messageFactory_->createHandshakeMessage(
      bittorrent::getInfoHash(downloadContext_), bittorrent::getStaticPeerId()));
  dispatcher_->sendMessages();
}

std::unique_ptr<BtHandshakeMessage> DefaultBtInteractive::receiveHandshake(bool quickReply) {
  auto message = receiver_->receiveHandshake(quickReply);
  if (!message) {
    return nullptr;
  }
  const long long cuid = static_cast<long long>(cuid_);
  if (std::memcmp(message->getPeerId(), bittorrent::getStaticPeerId(), 20) == 0) {
    throw DL_ABORT_EX(fmt("CUID#%lld - Drop connection from the same Peer ID", cuid));
  }
  for (const auto& used : peerStorage_->getUsedPeers()) {
    if (used->isActive() && std::memcmp(used->getPeerId(), message->getPeerId(), 20) == 0) {
      throw DL_ABORT_EX(fmt("CUID#%lld - Same Peer ID has been already seen.", cuid));
    }
  }
  peer_->setPeerId(message->getPeerId());
  if (message->isFastExtensionSupported()) {
    peer_->setFastExtensionEnabled(true);
    QLOG_INFO(fmt("CUID#%lld - Fast extension enabled.", cuid));
  }
  if (message->isExtendedMessagingEnabled()) {
    peer_->setExtendedMessagingEnabled(true);
    if (!utPexEnabled_) {
      extensionMessageRegistry_->removeExtension(EXT_UT_PEX);
    }
    QLOG_INFO(fmt("CUID#%lld - Extended Messaging enabled.", cuid));
  }
  if (message->isDHTEnabled()) {
    peer_->setDHTEnabled(true);
    QLOG_INFO(fmt("CUID#%lld - The peer is DHT-enabled.", cuid));
  }
  QLOG_INFO(fmt("CUID#%lld - From: %s:%d %s", cuid, peer_->getIPAddress().c_str(), peer_->getPort(),
                message->toString().c_str()));
  return message;
}

std::unique_ptr<BtHandshakeMessage> DefaultBtInteractive::receiveAndSendHandshake() {
  return receiveHandshake(true);
}

void DefaultBtInteractive::doPostHandshakeProcessing() {
  keepAliveTimer_ = global::wallclock();
  floodingTimer_ = global::wallclock();
  // The first peer exchange message is due at once.
  pexTimer_ = Timer::zero();
  if (peer_->isExtendedMessagingEnabled()) {
    addHandshakeExtensionToQueue();
  }
  if (!metadataGetMode_) {
    addBitfieldMessageToQueue();
  }
  if (peer_->isDHTEnabled() && dhtEnabled_) {
    dispatcher_->addMessageToQueue(messageFactory_->createPortMessage(localNodePort_));
  }
  if (!metadataGetMode_) {
    addAllowedFastMessageToQueue();
  }
  sendPendingMessage();
}

void DefaultBtInteractive::addHandshakeExtensionToQueue() {
  auto m = std::make_unique<HandshakeExtensionMessage>();
  m->setClientVersion(bittorrent::getStaticPeerAgent());
  m->setTCPPort(tcpPort_);
  m->setExtensions(*extensionMessageRegistry_);
  const auto* attrs = bittorrent::getTorrentAttrs(downloadContext_);
  if (!attrs->metadata.empty()) {
    m->setMetadataSize(attrs->metadataSize);
  }
  dispatcher_->addMessageToQueue(messageFactory_->createBtExtendedMessage(std::move(m)));
}

void DefaultBtInteractive::addBitfieldMessageToQueue() {
  if (peer_->isFastExtensionEnabled()) {
    if (pieceStorage_->allDownloadFinished()) {
      dispatcher_->addMessageToQueue(messageFactory_->createHaveAllMessage());
    } else if (pieceStorage_->getCompletedLength() > 0) {
      dispatcher_->addMessageToQueue(messageFactory_->createBitfieldMessage());
    } else {
      dispatcher_->addMessageToQueue(messageFactory_->createHaveNoneMessage());
    }
  } else if (pieceStorage_->getCompletedLength() > 0) {
    dispatcher_->addMessageToQueue(messageFactory_->createBitfieldMessage());
  }
}

void DefaultBtInteractive::addAllowedFastMessageToQueue() {
  if (!peer_->isFastExtensionEnabled()) {
    return;
  }
  for (size_t index : bittorrent::computeFastSet(
           peer_->getIPAddress(), downloadContext_->getNumPieces(),
           bittorrent::getInfoHash(downloadContext_), ALLOWED_FAST_SET_SIZE)) {
    dispatcher_->addMessageToQueue(messageFactory_->createAllowedFastMessage(index));
  }
}

void DefaultBtInteractive::checkActiveInteraction() {
  const bool interested = peer_->amInterested() || peer_->peerInterested();
  if (interested && elapsed(inactiveTimer_, MAX_IDLE_INTERESTED)) {
    peer_->setDisconnectedGracefully(true);
    throw DL_ABORT_EX(fmt(_("Drop connection because no request/piece messages were exchanged "
                            "in a certain period(%ld seconds)."),
                          static_cast<long>(MAX_IDLE_INTERESTED.count())));
  }
  if (!interested && elapsed(inactiveTimer_, MAX_IDLE_UNINTERESTED)) {
    peer_->setDisconnectedGracefully(true);
    throw DL_ABORT_EX(
        fmt(_("Disconnect peer because we are not interested each other after %ld second(s)."),
            static_cast<long>(MAX_IDLE_UNINTERESTED.count())));
  }
  if (peer_->isSeeder() && pieceStorage_->downloadFinished()) {
    throw DL_ABORT_EX("Client is in seed state: Good Bye Seeder;)");
  }
}

bool DefaultBtInteractive::downloadSpeedExceeded() const {
  if (requestGroupMan_ && requestGroupMan_->doesOverallDownloadSpeedExceed()) {
    return true;
  }
  RequestGroup* group = downloadContext_->getOwnerRequestGroup();
  return group && group->doesDownloadSpeedExceed();
}

void DefaultBtInteractive::receiveMessages() {
  const size_t before = dispatcher_->countOutstandingRequest();
  size_t count = 0;
  size_t bytes = 0;
  receiveBoundReached_ = false;
  while (!downloadSpeedExceeded()) {
    if (count >= MAX_MESSAGES_PER_TURN || bytes >= MAX_BYTES_PER_TURN) {
      receiveBoundReached_ = true;
      break;
    }
    auto message = receiver_->receiveMessage();
    if (!message) {
      break;
    }
    ++count;
    QLOG_INFO(fmt("CUID#%lld - From: %s:%d %s", static_cast<long long>(cuid_),
                  peer_->getIPAddress().c_str(), peer_->getPort(), message->toString().c_str()));
    const bool wasChoking = peer_->peerChoking();
    message->doReceivedAction();
    switch (message->getId()) {
      case REQUEST_ID:
        inactiveTimer_ = global::wallclock();
        break;
      case PIECE_ID:
        inactiveTimer_ = global::wallclock();
        bytes += static_cast<size_t>(static_cast<BtPieceMessage*>(message.get())->getBlockLength());
        break;
      case KEEP_ALIVE_ID:
        saturatingIncrement(keepAliveCount_);
        break;
      default:
        if (wasChoking != peer_->peerChoking()) {
          saturatingIncrement(chokeUnchokeCount_);
        }
        break;
    }
  }
  receivedMessageCount_ = count;
  const size_t after = dispatcher_->countOutstandingRequest();
  if (!pieceStorage_->isEndGame() && before > after &&
      4 * (before - after) >= maxOutstandingRequest_) {
    maxOutstandingRequest_ = std::min(maxOutstandingRequest_ * 2, MAX_OUTSTANDING_REQUESTS);
  }
}

void DefaultBtInteractive::detectMessageFlooding() {
  if (!elapsed(floodingTimer_, FLOODING_CHECK_INTERVAL)) {
    return;
  }
  if (keepAliveCount_ > 1) {
    throw DL_ABORT_EX(_("Flooding detected."));
  }
  keepAliveCount_ = chokeUnchokeCount_ = 0;
  floodingTimer_ = global::wallclock();
}

void DefaultBtInteractive::decideChoking() {
  if (peer_->shouldBeChoking()) {
    if (!peer_->amChoking()) {
      peer_->amChoking(true);
      dispatcher_->doChokingAction();
      dispatcher_->addMessageToQueue(messageFactory_->createChokeMessage());
    }
  } else if (peer_->amChoking()) {
    peer_->amChoking(false);
    dispatcher_->addMessageToQueue(messageFactory_->createUnchokeMessage());
  }
}

void DefaultBtInteractive::decideInterest() {
  const bool interested =
      pieceStorage_->hasMissingPiece(peer_->getBitfield(), peer_->getBitfieldLength());
  if (interested == peer_->amInterested()) {
    return;
  }
  QLOG_DEBUG(fmt(
      interested ? "CUID#%lld - Interested in the peer" : "CUID#%lld - Not interested in the peer",
      static_cast<long long>(cuid_)));
  peer_->amInterested(interested);
  dispatcher_->addMessageToQueue(interested ? messageFactory_->createInterestedMessage()
                                            : messageFactory_->createNotInterestedMessage());
}

void DefaultBtInteractive::checkHave() {
  std::vector<size_t> indexes;
  lastHaveIndex_ = pieceStorage_->getAdvertisedPieceIndexes(indexes, cuid_, lastHaveIndex_);
  if (indexes.empty()) {
    return;
  }
  // Have messages while they are smaller than one bitfield message.
  if (9 * indexes.size() < pieceStorage_->getBitfieldLength() + 5) {
    for (size_t index : indexes) {
      dispatcher_->addMessageToQueue(messageFactory_->createHaveMessage(index));
    }
  } else if (peer_->isFastExtensionEnabled() && pieceStorage_->allDownloadFinished()) {
    dispatcher_->addMessageToQueue(messageFactory_->createHaveAllMessage());
  } else {
    dispatcher_->addMessageToQueue(messageFactory_->createBitfieldMessage());
  }
}

void DefaultBtInteractive::sendKeepAlive() {
  if (!elapsed(keepAliveTimer_, keepAliveInterval_)) {
    return;
  }
  dispatcher_->addMessageToQueue(messageFactory_->createKeepAliveMessage());
  dispatcher_->sendMessages();
  keepAliveTimer_ = global::wallclock();
}

void DefaultBtInteractive::fillPiece(size_t maxMissingBlock) {
  if (!pieceStorage_->hasMissingPiece(peer_->getBitfield(), peer_->getBitfieldLength())) {
    return;
  }
  const size_t missing = requestFactory_->countMissingBlock();
  if (missing >= maxMissingBlock) {
    return;
  }
  const size_t k = maxMissingBlock - missing;
  std::vector<std::shared_ptr<Piece>> pieces;
  if (!peer_->peerChoking()) {
    if (pieceStorage_->isEndGame()) {
      pieceStorage_->getMissingPiece(pieces, k, peer_->getBitfield(), peer_->getBitfieldLength(),
                                     requestFactory_->getTargetPieceIndexes(), cuid_);
    } else {
      pieceStorage_->getMissingPiece(pieces, k, peer_->getBitfield(), peer_->getBitfieldLength(),
                                     cuid_);
    }
  } else if (peer_->isFastExtensionEnabled()) {
    const auto& allowed = peer_->getPeerAllowedIndexSet();
    const std::vector<size_t> excluded = pieceStorage_->isEndGame()
                                             ? requestFactory_->getTargetPieceIndexes()
                                             : std::vector<size_t>();
    pieceStorage_->getMissingFastPiece(pieces, k, peer_->getBitfield(), peer_->getBitfieldLength(),
                                       std::vector<size_t>(allowed.begin(), allowed.end()),
                                       excluded, cuid_);
  }
  for (const auto& piece : pieces) {
    requestFactory_->addTargetPiece(piece);
  }
}

void DefaultBtInteractive::addRequests() {
  if (!pieceStorage_->isEndGame() && !pieceStorage_->hasMissingUnusedPiece()) {
    pieceStorage_->enterEndGame();
  }
  fillPiece(maxOutstandingRequest_);
  const size_t outstanding = dispatcher_->countOutstandingRequest();
  if (maxOutstandingRequest_ > outstanding) {
    for (auto& m : requestFactory_->createRequestMessages(maxOutstandingRequest_ - outstanding,
                                                          pieceStorage_->isEndGame())) {
      dispatcher_->addMessageToQueue(std::move(m));
    }
  }
}

void DefaultBtInteractive::addPeerExchangeMessage() {
  if (!elapsed(pexTimer_, PEX_INTERVAL)) {
    return;
  }
  auto m = std::make_unique<UTPexExtensionMessage>(peer_->getExtensionMessageID(EXT_UT_PEX));
  for (const auto& used : peerStorage_->getUsedPeers()) {
    if (m->freshPeersAreFull()) {
      break;
    }
    if (used->isActive() && used->getIPAddress() != peer_->getIPAddress()) {
      m->addFreshPeer(used);
    }
  }
  for (const auto& dropped : peerStorage_->getDroppedPeers()) {
    if (m->droppedPeersAreFull()) {
      break;
    }
    if (dropped->getIPAddress() != peer_->getIPAddress()) {
      m->addDroppedPeer(dropped);
    }
  }
  dispatcher_->addMessageToQueue(messageFactory_->createBtExtendedMessage(std::move(m)));
  pexTimer_ = global::wallclock();
}

void DefaultBtInteractive::sendPeerExchangeAndPending() {
  if (utPexEnabled_ && peer_->getExtensionMessageID(EXT_UT_PEX) != 0) {
    addPeerExchangeMessage();
  }
  sendPendingMessage();
}

void DefaultBtInteractive::doMetadataGetProcessing() {
  sendKeepAlive();
  receiveMessages();
  // The piece storage appears once a peer told the metadata size.
  if (RequestGroup* group = downloadContext_->getOwnerRequestGroup()) {
    pieceStorage_ = group->getPieceStorage();
  }
  if (peer_->getExtensionMessageID(EXT_UT_METADATA) != 0 &&
      downloadContext_->getTotalLength() > 0 && pieceStorage_) {
    if (utMetadataRequestTracker_->avail()) {
      for (auto& m : utMetadataRequestFactory_->create(1, pieceStorage_.get())) {
        dispatcher_->addMessageToQueue(std::move(m));
      }
    }
    if (elapsed(perSecondTimer_, 1s)) {
      perSecondTimer_ = global::wallclock();
      for (size_t index : utMetadataRequestTracker_->removeTimeoutEntry()) {
        pieceStorage_->cancelPiece(pieceStorage_->getPiece(index), cuid_);
      }
    }
    if (pieceStorage_->downloadFinished()) {
      downloadContext_->getOwnerRequestGroup()->setForceHaltRequested(true, RequestGroup::NONE);
    }
  }
  sendPeerExchangeAndPending();
}

void DefaultBtInteractive::doInteractionProcessing() {
  if (metadataGetMode_) {
    doMetadataGetProcessing();
    return;
  }
  checkActiveInteraction();
  if (elapsed(perSecondTimer_, 1s)) {
    perSecondTimer_ = global::wallclock();
    dispatcher_->checkRequestSlotAndDoNecessaryThing();
  }
  receiveMessages();
  detectMessageFlooding();
  decideChoking();
  decideInterest();
  checkHave();
  sendKeepAlive();
  requestFactory_->removeCompletedPiece();
  if (!pieceStorage_->downloadFinished()) {
    addRequests();
  }
  sendPeerExchangeAndPending();
}

void DefaultBtInteractive::cancelAllPiece() {
  requestFactory_->removeAllTargetPiece();
  if (metadataGetMode_ && utMetadataRequestTracker_ && downloadContext_->getTotalLength() > 0 &&
      pieceStorage_) {
    for (size_t index : utMetadataRequestTracker_->getAllTrackedIndex()) {
      QLOG_DEBUG(fmt("Cancel metadata: piece=%lu", static_cast<unsigned long>(index)));
      pieceStorage_->cancelPiece(pieceStorage_->getPiece(index), cuid_);
    }
  }
}

void DefaultBtInteractive::sendPendingMessage() {
  dispatcher_->sendMessages();
}

size_t DefaultBtInteractive::countPendingMessage() {
  return dispatcher_->countMessageInQueue();
}

bool DefaultBtInteractive::isSendingMessageInProgress() {
  return dispatcher_->isSendingInProgress();
}

size_t DefaultBtInteractive::countOutstandingRequest() {
  if (metadataGetMode_) {
    return utMetadataRequestTracker_->getAllTrackedIndex().size();
  }
  return dispatcher_->countOutstandingRequest();
}

}  // namespace quarn
