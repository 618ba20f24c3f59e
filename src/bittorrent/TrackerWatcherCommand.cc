#include "bittorrent/TrackerWatcherCommand.h"

#include <chrono>

#include "bittorrent/BtAnnounce.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/HTTPAnnRequest.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerInitiateConnectionCommand.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/uri_split.h"
#include "storage/ByteArrayDiskWriter.h"
#include "storage/DiskWriterFactory.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"

namespace quarn {

TrackerWatcherCommand::TrackerWatcherCommand(cuid_t cuid, RequestGroup* requestGroup,
                                             DownloadEngine* e)
    : Command(cuid), requestGroup_(requestGroup), e_(e) {
  // The first announce goes out as soon as the torrent is live.
  setStatus(Command::STATUS_ONESHOT_REALTIME);
  requestGroup_->increaseNumCommand();
  if (auto* registry = e_->getService<BtRegistry>()) {
    udpTrackerClient_ = registry->getUDPTrackerClient();
  }
}

TrackerWatcherCommand::~TrackerWatcherCommand() {
  requestGroup_->decreaseNumCommand();
}

bool TrackerWatcherCommand::execute() {
  if (requestGroup_->isForceHaltRequested()) {
    // The hidden download must be gone before its request is: its commands
    // still refer to its group.
    if (!trackerRequest_ || trackerRequest_->stopped()) {
      return true;
    }
    trackerRequest_->stop(e_);
    e_->setRefreshInterval(std::chrono::milliseconds(0));
    e_->addCommand(std::unique_ptr<Command>(this));
    return false;
  }
  if (btAnnounce_->noMoreAnnounce()) {
    QLOG_DEBUG("no more announce");
    return true;
  }
  if (!trackerRequest_) {
    trackerRequest_ = createAnnounce();
    if (trackerRequest_) {
      trackerRequest_->issue(e_);
      QLOG_DEBUG("tracker request created");
    }
  } else if (trackerRequest_->stopped()) {
    finishRequest();
  }
  if (!trackerRequest_ && btAnnounce_->noMoreAnnounce()) {
    QLOG_DEBUG("no more announce");
    return true;
  }
  // While a request is in flight its answer is looked at on the turn it
  // arrives; otherwise the periodic pass is soon enough.
  if (trackerRequest_) {
    setStatus(Command::STATUS_ONESHOT_REALTIME);
  }
  e_->addCommand(std::unique_ptr<Command>(this));
  return false;
}

void TrackerWatcherCommand::finishRequest() {
  if (trackerRequest_->success() && trackerRequest_->processResponse(*btAnnounce_)) {
    btAnnounce_->announceSuccess();
    btAnnounce_->resetAnnounce();
    addConnection();
  } else {
    btAnnounce_->announceFailure();
    if (btAnnounce_->isAllAnnounceFailed()) {
      btAnnounce_->resetAnnounce();
    }
  }
  trackerRequest_.reset();
}

std::unique_ptr<AnnRequest> TrackerWatcherCommand::createAnnounce() {
  while (!btAnnounce_->isAllAnnounceFailed() && btAnnounce_->isAnnounceReady()) {
    std::string uri = btAnnounce_->getAnnounceUrl();
    uri_split_result res;
    if (uri_split(&res, uri.c_str()) != 0) {
      btAnnounce_->announceFailure();
      continue;
    }
    auto request = createHTTPAnnRequest(uri);
    btAnnounce_->announceStart();
    return request;
  }
  if (btAnnounce_->isAllAnnounceFailed()) {
    btAnnounce_->resetAnnounce();
  }
  return nullptr;
}

std::unique_ptr<AnnRequest> TrackerWatcherCommand::createHTTPAnnRequest(const std::string& uri) {
  auto option = std::make_shared<Option>(*requestGroup_->getOption());
  auto group = std::make_shared<RequestGroup>(GroupId::create(), option);
  const auto* torrent = bittorrent::getTorrentAttrs(requestGroup_->getDownloadContext());
  if (torrent->announceList.size() > 1 ||
      (!torrent->announceList.empty() && torrent->announceList.front().size() > 1)) {
    QLOG_DEBUG("This is multi-tracker announce.");
  } else {
    QLOG_DEBUG("This is single-tracker announce.");
  }
  group->setMaxConcurrentCommands(1);
  option->put(PREF_MAX_TRIES, "2");
  option->put(PREF_USE_HEAD, QN_V_FALSE);
  option->put(PREF_CONNECT_TIMEOUT, option->get(PREF_BT_TRACKER_CONNECT_TIMEOUT));
  option->put(PREF_REUSE_URI, QN_V_FALSE);
  option->put(PREF_SELECT_LEAST_USED_HOST, QN_V_FALSE);
  group->setTimeout(option->getAsInt(PREF_BT_TRACKER_TIMEOUT));
  auto context = std::make_shared<DownloadContext>(option->getAsInt(PREF_PIECE_LENGTH), 0,
                                                   "[tracker.announce]");
  context->getFirstFileEntry()->setUris({uri});
  context->setAcceptMetalink(false);
  group->setDownloadContext(context);
  // The answer is only read back from memory; nothing of it touches disk.
  group->setDiskWriterFactory(std::make_shared<AnonDiskWriterFactory<ByteArrayDiskWriter>>());
  group->markInMemoryDownload();
  group->setFileAllocationEnabled(false);
  group->setLocalFileCheckEnabled(false);
  group->clearPreDownloadHandler();
  group->clearPostDownloadHandler();
  QLOG_INFO(fmt("Creating tracker request group GID#%s", group->getGroupId()->toHex().c_str()));
  return std::make_unique<HTTPAnnRequest>(std::move(group));
}

void TrackerWatcherCommand::addConnection() {
  while (!btRuntime_->isHalt() && btRuntime_->lessThanMinPeers() &&
         peerStorage_->isPeerAvailable()) {
    const cuid_t ncuid = e_->newCUID();
    auto peer = peerStorage_->checkoutPeer(ncuid);
    if (!peer) {
      break;
    }
    auto command =
        std::make_unique<PeerInitiateConnectionCommand>(ncuid, requestGroup_, peer, e_, btRuntime_);
    command->setPeerStorage(peerStorage_);
    command->setPieceStorage(pieceStorage_);
    e_->addCommand(std::move(command));
    QLOG_DEBUG(fmt("CUID#%lld - Adding new command CUID#%lld", static_cast<long long>(getCuid()),
                   static_cast<long long>(peer->usedBy())));
  }
}

}  // namespace quarn
