#include "bittorrent/LpdReceiveMessageCommand.h"

#include "bittorrent/BtRegistry.h"
#include "bittorrent/LpdMessage.h"
#include "bittorrent/LpdMessageReceiver.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/torrent_reader.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"
#include "net/SocketCore.h"
#include "storage/DownloadContext.h"

namespace quarn {

LpdReceiveMessageCommand::LpdReceiveMessageCommand(cuid_t cuid,
                                                   std::shared_ptr<LpdMessageReceiver> receiver,
                                                   DownloadEngine* engine)
    : Command(cuid), receiver_(std::move(receiver)), engine_(engine) {
  engine_->addSocketForReadCheck(receiver_->getSocket()->getSockfd(), this);
}

LpdReceiveMessageCommand::~LpdReceiveMessageCommand() {
  engine_->deleteSocketForReadCheck(receiver_->getSocket()->getSockfd(), this);
}

namespace {

void handOver(const LpdMessage& m, BtRegistry& registry) {
  const auto& ctx = registry.getDownloadContext(m.infoHash);
  if (!ctx) {
    QLOG_DEBUG(fmt("Download Context is null for infohash=%s.", util::toHex(m.infoHash).c_str()));
    return;
  }
  if (bittorrent::getTorrentAttrs(ctx)->privateTorrent) {
    QLOG_DEBUG("Ignore LPD message because the torrent is private.");
    return;
  }
  RequestGroup* group = ctx->getOwnerRequestGroup();
  BtObject* object = group ? registry.get(group->getGID()) : nullptr;
  if (!object || !object->peerStorage) {
    return;
  }
  const bool added = object->peerStorage->addPeer(m.peer);
  QLOG_DEBUG(fmt(added ? "LPD peer %s:%u local=%d added." : "LPD peer %s:%u local=%d not added.",
                 m.peer->getIPAddress().c_str(), m.peer->getPort(), m.peer->isLocalPeer() ? 1 : 0));
}

}  // namespace

bool LpdReceiveMessageCommand::execute() {
  auto* man = engine_->getRequestGroupMan();
  if ((man && man->downloadFinished()) || engine_->isHaltRequested()) {
    return true;
  }
  auto* registry = engine_->getService<BtRegistry>();
  for (int i = 0; i < MAX_MESSAGES_PER_TURN; ++i) {
    auto m = receiver_->receiveMessage();
    if (!m) {
      break;
    }
    if (registry) {
      handOver(*m, *registry);
    }
  }
  engine_->addCommand(std::unique_ptr<Command>(this));
  return false;
}

}  // namespace quarn
