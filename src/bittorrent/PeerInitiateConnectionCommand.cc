#include "bittorrent/PeerInitiateConnectionCommand.h"

#include "bittorrent/BtRuntime.h"
#include "bittorrent/InitiatorMSEHandshakeCommand.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/PeerInteractionCommand.h"
#include "bittorrent/PeerStorage.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "net/SocketCore.h"

namespace quarn {

PeerInitiateConnectionCommand::PeerInitiateConnectionCommand(
    cuid_t cuid, RequestGroup* requestGroup, std::shared_ptr<Peer> peer, DownloadEngine* engine,
    std::shared_ptr<BtRuntime> btRuntime, bool useEncryptedHandshake)
    : PeerAbstractCommand(cuid, std::move(peer), engine),
      requestGroup_(requestGroup),
      btRuntime_(std::move(btRuntime)),
      useEncryptedHandshake_(useEncryptedHandshake) {
  // A connection someone decided to open starts on the next turn, not at the
  // next periodic pass.
  setStatus(Command::STATUS_ONESHOT_REALTIME);
  btRuntime_->increaseConnections();
  requestGroup_->increaseNumCommand();
}

PeerInitiateConnectionCommand::~PeerInitiateConnectionCommand() {
  requestGroup_->decreaseNumCommand();
  btRuntime_->decreaseConnections();
}

bool PeerInitiateConnectionCommand::executeInternal() {
  const auto& peer = getPeer();
  QLOG_INFO(fmt("CUID#%lld - Connecting to %s:%d", static_cast<long long>(getCuid()),
                peer->getIPAddress().c_str(), peer->getPort()));
  createSocket();
  getSocket()->establishConnection(peer->getIPAddress(), peer->getPort());
  getSocket()->applyIpDscp();
  if (useEncryptedHandshake_) {
    auto command = std::make_unique<InitiatorMSEHandshakeCommand>(
        getCuid(), requestGroup_, peer, getDownloadEngine(), btRuntime_, getSocket());
    command->setPeerStorage(peerStorage_);
    command->setPieceStorage(pieceStorage_);
    getDownloadEngine()->addCommand(std::move(command));
    return true;
  }
  getDownloadEngine()->addCommand(std::make_unique<PeerInteractionCommand>(
      getCuid(), requestGroup_, peer, getDownloadEngine(), btRuntime_, pieceStorage_, peerStorage_,
      getSocket(), PeerInteractionCommand::SEND_HANDSHAKE));
  return true;
}

void PeerInitiateConnectionCommand::startReplacement(
    DownloadEngine* engine, RequestGroup* requestGroup, const std::shared_ptr<BtRuntime>& btRuntime,
    const std::shared_ptr<PeerStorage>& peerStorage,
    const std::shared_ptr<PieceStorage>& pieceStorage) {
  if (!peerStorage->isPeerAvailable() ||
      (btRuntime->getMinPeers() != 0 && btRuntime->getConnections() > btRuntime->getMinPeers())) {
    return;
  }
  const cuid_t ncuid = engine->newCUID();
  if (auto peer = peerStorage->checkoutPeer(ncuid)) {
    auto command = std::make_unique<PeerInitiateConnectionCommand>(ncuid, requestGroup, peer,
                                                                   engine, btRuntime);
    command->setPeerStorage(peerStorage);
    command->setPieceStorage(pieceStorage);
    engine->addCommand(std::move(command));
  }
}

bool PeerInitiateConnectionCommand::prepareForNextPeer(std::chrono::seconds) {
  startReplacement(getDownloadEngine(), requestGroup_, btRuntime_, peerStorage_, pieceStorage_);
  return true;
}

void PeerInitiateConnectionCommand::onAbort() {
  peerStorage_->returnPeer(getPeer());
}

bool PeerInitiateConnectionCommand::exitBeforeExecute() {
  return btRuntime_->isHalt();
}

}  // namespace quarn
