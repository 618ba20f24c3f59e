#include "bittorrent/PeerReceiveHandshakeCommand.h"

#include <algorithm>

#include "bittorrent/BtHandshakeMessage.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/PeerInteractionCommand.h"
#include "bittorrent/PeerStorage.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"
#include "storage/DownloadContext.h"
#include "storage/PieceStorage.h"

namespace quarn {

namespace {
constexpr size_t INFO_HASH_BEGIN = 28;
constexpr size_t INFO_HASH_END = 48;
}  // namespace

PeerReceiveHandshakeCommand::PeerReceiveHandshakeCommand(cuid_t cuid, std::shared_ptr<Peer> peer,
                                                         DownloadEngine* engine,
                                                         std::shared_ptr<SocketCore> socket,
                                                         std::unique_ptr<PeerConnection> connection)
    : PeerAbstractCommand(cuid, std::move(peer), engine, std::move(socket)),
      peerConnection_(std::move(connection)) {
  if (!peerConnection_) {
    peerConnection_ = std::make_unique<PeerConnection>(cuid, getPeer(), getSocket());
  } else if (peerConnection_->getBufferLength() > 0) {
    setStatus(Command::STATUS_ONESHOT_REALTIME);
    engine->setNoWait(true);
  }
}

PeerReceiveHandshakeCommand::~PeerReceiveHandshakeCommand() = default;

bool PeerReceiveHandshakeCommand::exitBeforeExecute() {
  auto* man = getDownloadEngine()->getRequestGroupMan();
  return getDownloadEngine()->isHaltRequested() ||
         (man && man->countRequestGroup() == 0 && man->getReservedGroups().empty());
}

bool PeerReceiveHandshakeCommand::executeInternal() {
  unsigned char data[BtHandshakeMessage::MESSAGE_LENGTH];
  size_t dataLength = sizeof(data);
  if (peerConnection_->getBufferLength() < INFO_HASH_END) {
    peerConnection_->receiveHandshake(data, dataLength, true);
    if (peerConnection_->getBufferLength() < INFO_HASH_END) {
      addCommandSelf();
      return false;
    }
  }
  const std::string infoHash(
      reinterpret_cast<const char*>(peerConnection_->getBuffer()) + INFO_HASH_BEGIN, 20);
  auto* registry = getDownloadEngine()->getService<BtRegistry>();
  const auto& ctx = registry ? registry->getDownloadContext(infoHash) : nullptr;
  BtObject* object = ctx && ctx->getOwnerRequestGroup()
                         ? registry->get(ctx->getOwnerRequestGroup()->getGID())
                         : nullptr;
  if (!object || !object->btRuntime->isReady()) {
    throw DL_ABORT_EX(fmt("Unknown info hash %s", util::toHex(infoHash).c_str()));
  }
  if (object->btRuntime->isHalt()) {
    QLOG_DEBUG("Info hash found but the download is over. Dropping connection.");
    return true;
  }
  RequestGroup* group = ctx->getOwnerRequestGroup();
  int32_t threshold = group->getOption()->getAsInt(PREF_BT_REQUEST_PEER_SPEED_LIMIT);
  if (group->getMaxDownloadSpeedLimit() > 0) {
    threshold = std::min(threshold, group->getMaxDownloadSpeedLimit());
  }
  const bool wanted = (!object->pieceStorage->downloadFinished() &&
                       group->calculateStat().downloadSpeed < threshold) ||
                      object->btRuntime->lessThanMaxPeers();
  if (!wanted) {
    return true;
  }
  if (!object->peerStorage->addAndCheckoutPeer(getPeer(), getCuid())) {
    return true;
  }
  getDownloadEngine()->addCommand(std::make_unique<PeerInteractionCommand>(
      getCuid(), group, getPeer(), getDownloadEngine(), object->btRuntime, object->pieceStorage,
      object->peerStorage, getSocket(), PeerInteractionCommand::AWAIT_AND_REPLY_HANDSHAKE,
      std::move(peerConnection_)));
  QLOG_DEBUG(fmt("CUID#%lld - Incoming connection, adding new command CUID#%lld",
                 static_cast<long long>(getCuid()), static_cast<long long>(getCuid())));
  return true;
}

}  // namespace quarn
