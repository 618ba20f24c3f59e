#include "bittorrent/PeerInitiateConnectionCommand.h"
#include "bittorrent/PeerConnection.h"

#include "bittorrent/BtRuntime.h"
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

PeerInitiateConnectionCommand::PeerInitiateConnectionCommand(cuid_t cuid,
                                                             RequestGroup* requestGroup,
                                                             std::shared_ptr<Peer> peer,
                                                             DownloadEngine* engine,
                                                             std::shared_ptr<BtRuntime> btRuntime)
    : PeerAbstractCommand(cuid, std::move(peer), engine),
      requestGroup_(requestGroup),
      btRuntime_(std::move(btRuntime)) {
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
  // The encrypted handshake is offered once it exists; until then every
  // connection starts with the plain handshake.
  getDownloadEngine()->addCommand(std::make_unique<PeerInteractionCommand>(
      getCuid(), requestGroup_, peer, getDownloadEngine(), btRuntime_, pieceStorage_, peerStorage_,
      getSocket(), PeerInteractionCommand::SEND_HANDSHAKE));
  return true;
}

bool PeerInitiateConnectionCommand::prepareForNextPeer(std::chrono::seconds) {
  if (peerStorage_->isPeerAvailable() &&
      (btRuntime_->getMinPeers() == 0 ||
       btRuntime_->getConnections() <= btRuntime_->getMinPeers())) {
    const cuid_t ncuid = getDownloadEngine()->newCUID();
    if (auto peer = peerStorage_->checkoutPeer(ncuid)) {
      auto command = std::make_unique<PeerInitiateConnectionCommand>(
          ncuid, requestGroup_, peer, getDownloadEngine(), btRuntime_);
      command->setPeerStorage(peerStorage_);
      command->setPieceStorage(pieceStorage_);
      getDownloadEngine()->addCommand(std::move(command));
    }
  }
  return true;
}

void PeerInitiateConnectionCommand::onAbort() {
  peerStorage_->returnPeer(getPeer());
}

bool PeerInitiateConnectionCommand::exitBeforeExecute() {
  return btRuntime_->isHalt();
}

}  // namespace quarn
