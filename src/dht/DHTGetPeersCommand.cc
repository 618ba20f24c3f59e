#include "dht/DHTGetPeersCommand.h"

#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/torrent_reader.h"
#include "dht/DHTTask.h"
#include "dht/DHTTaskFactory.h"
#include "dht/DHTTaskQueue.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"

namespace quarn {

namespace {

constexpr std::chrono::nanoseconds GET_PEER_INTERVAL{899'999'999'999};
constexpr std::chrono::nanoseconds GET_PEER_INTERVAL_LOW{299'999'999'999};
constexpr std::chrono::nanoseconds GET_PEER_INTERVAL_RETRY{4'999'999'999};
constexpr std::chrono::seconds GET_PEER_INTERVAL_ZERO{60};
constexpr int MAX_RETRIES = 10;

}  // namespace

DHTGetPeersCommand::DHTGetPeersCommand(cuid_t cuid, RequestGroup* requestGroup, DownloadEngine* e)
    : Command(cuid), requestGroup_(requestGroup), e_(e) {
  requestGroup_->increaseNumCommand();
}

DHTGetPeersCommand::~DHTGetPeersCommand() {
  requestGroup_->decreaseNumCommand();
}

bool DHTGetPeersCommand::lookupDue(std::chrono::nanoseconds elapsed) const {
  if (elapsed > GET_PEER_INTERVAL) {
    return true;
  }
  if (btRuntime_->lessThanMinPeers() &&
      ((numRetry_ > 0 && elapsed > GET_PEER_INTERVAL_RETRY) || elapsed > GET_PEER_INTERVAL_LOW)) {
    return true;
  }
  return btRuntime_->getConnections() == 0 && elapsed >= GET_PEER_INTERVAL_ZERO;
}

void DHTGetPeersCommand::issueLookup() {
  const auto& ctx = requestGroup_->getDownloadContext();
  QLOG_DEBUG(fmt("Issuing PeerLookup for infoHash=%s", bittorrent::getInfoHashString(ctx).c_str()));
  auto* registry = e_->getService<BtRegistry>();
  task_ =
      taskFactory_->createPeerLookupTask(ctx, registry ? registry->getTcpPort() : 0, peerStorage_);
  taskQueue_->addPeriodicTask2(task_);
}

void DHTGetPeersCommand::onLookupFinished() {
  QLOG_DEBUG("task finished detected");
  lastGetPeerTime_ = global::wallclock();
  const int maxPeers = btRuntime_->getMaxPeers();
  if (numRetry_ >= MAX_RETRIES) {
    numRetry_ = 0;
  } else if (maxPeers != 0 && peerStorage_->countAllPeer() >= static_cast<size_t>(maxPeers)) {
    numRetry_ = 0;
  } else {
    ++numRetry_;
    QLOG_DEBUG(fmt("Too few peers. peers=%lu, max_peers=%d. Try again(%d)",
                   static_cast<unsigned long>(peerStorage_->countAllPeer()), maxPeers, numRetry_));
  }
  task_.reset();
}

bool DHTGetPeersCommand::step() {
  if (btRuntime_->isHalt()) {
    return true;
  }
  auto elapsed = lastGetPeerTime_.difference(global::wallclock());
  if (!task_ && lookupDue(elapsed)) {
    issueLookup();
  }
  if (task_ && task_->finished()) {
    onLookupFinished();
  }
  return false;
}

bool DHTGetPeersCommand::execute() {
  if (step()) {
    return true;
  }
  e_->addCommand(std::unique_ptr<Command>(this));
  return false;
}

}  // namespace quarn
