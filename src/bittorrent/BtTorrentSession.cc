#include "bittorrent/BtTorrentSession.h"

#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerStorage.h"

namespace quarn {

BtTorrentSession::BtTorrentSession(BtRegistry* registry, uint64_t gid, std::string infoHash,
                                   std::shared_ptr<BtRuntime> runtime,
                                   std::shared_ptr<PeerStorage> peerStorage)
    : registry_(registry),
      gid_(gid),
      infoHash_(std::move(infoHash)),
      runtime_(std::move(runtime)),
      peerStorage_(std::move(peerStorage)) {}

void BtTorrentSession::setHalt(bool halt) {
  runtime_->setHalt(halt);
}

int32_t BtTorrentSession::getConnections() const {
  return runtime_->getConnections();
}

int64_t BtTorrentSession::getUploadLengthAtStartup() const {
  return runtime_->getUploadLengthAtStartup();
}

int BtTorrentSession::countSeeders() const {
  const auto& peers = peerStorage_->getUsedPeers();
  return static_cast<int>(countSeeder(peers.begin(), peers.end()));
}

void BtTorrentSession::release() {
  registry_->remove(gid_);
}

}  // namespace quarn
