#include "bittorrent/ActivePeerConnectionCommand.h"

#include <algorithm>

#include "bittorrent/BtAnnounce.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerInitiateConnectionCommand.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"
#include "storage/DownloadContext.h"
#include "storage/PieceStorage.h"

namespace quarn {

ActivePeerConnectionCommand::ActivePeerConnectionCommand(cuid_t cuid, RequestGroup* requestGroup,
                                                         DownloadEngine* engine,
                                                         std::chrono::seconds interval)
    : Command(cuid),
      requestGroup_(requestGroup),
      interval_(interval),
      engine_(engine),
      checkPoint_(global::wallclock()) {
  requestGroup_->increaseNumCommand();
}

ActivePeerConnectionCommand::~ActivePeerConnectionCommand() {
  requestGroup_->decreaseNumCommand();
}

int ActivePeerConnectionCommand::connectionsWanted() const {
  const TransferStat stat = requestGroup_->calculateStat();
  if (pieceStorage_->downloadFinished()) {
    const int32_t uploadLimit = requestGroup_->getMaxUploadSpeedLimit();
    if (!btRuntime_->lessThanMaxPeers() ||
        (uploadLimit > 0 && stat.uploadSpeed >= uploadLimit * 0.8)) {
      return 0;
    }
    const int room = btRuntime_->getMaxPeers() - btRuntime_->getConnections();
    return btRuntime_->getMaxPeers() == 0 ? NUM_NEW_CONNECTION
                                          : std::max(0, std::min(NUM_NEW_CONNECTION, room));
  }
  int32_t threshold = 0;
  if (!bittorrent::getTorrentAttrs(requestGroup_->getDownloadContext())->metadata.empty()) {
    threshold = requestGroup_->getOption()->getAsInt(PREF_BT_REQUEST_PEER_SPEED_LIMIT);
  }
  const int32_t downloadLimit = requestGroup_->getMaxDownloadSpeedLimit();
  if (downloadLimit > 0) {
    threshold = std::min(threshold, downloadLimit);
  }
  return stat.downloadSpeed < threshold || btRuntime_->lessThanMinPeers() ? NUM_NEW_CONNECTION : 0;
}

bool ActivePeerConnectionCommand::execute() {
  if (btRuntime_->isHalt()) {
    return true;
  }
  if (checkPoint_.difference(global::wallclock()) >= interval_) {
    checkPoint_ = global::wallclock();
    if (const int n = connectionsWanted(); n > 0) {
      makeNewConnections(n);
    }
    if (btRuntime_->getConnections() == 0 && !pieceStorage_->downloadFinished() && btAnnounce_) {
      btAnnounce_->overrideMinInterval(std::chrono::seconds(120));
    }
  }
  engine_->addCommand(std::unique_ptr<Command>(this));
  return false;
}

void ActivePeerConnectionCommand::makeNewConnections(int num) {
  for (; num > 0 && peerStorage_->isPeerAvailable(); --num) {
    const cuid_t ncuid = engine_->newCUID();
    auto peer = peerStorage_->checkoutPeer(ncuid);
    if (!peer) {
      break;
    }
    auto command = std::make_unique<PeerInitiateConnectionCommand>(ncuid, requestGroup_, peer,
                                                                   engine_, btRuntime_);
    command->setPeerStorage(peerStorage_);
    command->setPieceStorage(pieceStorage_);
    engine_->addCommand(std::move(command));
    QLOG_INFO(fmt("CUID#%lld - Connecting to the peer %s", static_cast<long long>(getCuid()),
                  peer->getIPAddress().c_str()));
  }
}

}  // namespace quarn
