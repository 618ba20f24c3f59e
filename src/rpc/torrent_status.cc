#include "rpc/torrent_status.h"

#include "bittorrent/BtObject.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/torrent_reader.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/Dict.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/String.h"
#include "foundation/util_chars.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"
#include "rpc/status_builders.h"
#include "storage/DownloadContext.h"

namespace quarn {
namespace rpc {

namespace {

const char KEY_BITTORRENT[] = "bittorrent";

const char* boolText(bool b) {
  return b ? "true" : "false";
}

std::unique_ptr<List> announceTiers(const TorrentAttribute& attrs) {
  auto tiers = List::g();
  for (const auto& tier : attrs.announceList) {
    auto uris = List::g();
    for (const auto& uri : tier) {
      uris->append(uri);
    }
    tiers->append(std::move(uris));
  }
  return tiers;
}

// Seeders among the peers the torrent is connected to; a torrent not running
// has none.
size_t countLiveSeeders(const BtObject* bt) {
  if (!bt || !bt->peerStorage) {
    return 0;
  }
  const auto& peers = bt->peerStorage->getUsedPeers();
  return countSeeder(peers.begin(), peers.end());
}

std::unique_ptr<Dict> createPeerEntry(Peer& peer) {
  auto d = Dict::g();
  d->put("peerId", util::torrentPercentEncode(peer.getPeerId(), 20));
  d->put("ip", peer.getIPAddress());
  // An incoming peer's port is its ephemeral source port, not one it listens on.
  d->put("port", util::uitos(peer.isIncomingPeer() ? 0 : peer.getPort()));
  d->put("bitfield", util::toHex(peer.getBitfield(), peer.getBitfieldLength()));
  d->put("amChoking", boolText(peer.amChoking()));
  d->put("peerChoking", boolText(peer.peerChoking()));
  d->put("downloadSpeed", util::itos(peer.calculateDownloadSpeed()));
  d->put("uploadSpeed", util::itos(peer.calculateUploadSpeed()));
  d->put("seeder", boolText(peer.isSeeder()));
  return d;
}

}  // namespace

BtObject* findBtObject(DownloadEngine* e, uint64_t gid) {
  auto* registry = e ? e->getService<BtRegistry>() : nullptr;
  return registry ? registry->get(gid) : nullptr;
}

std::unique_ptr<Dict> gatherBitTorrentMetadata(const TorrentAttribute& attrs) {
  auto d = Dict::g();
  if (!attrs.comment.empty()) {
    d->put("comment", attrs.comment);
  }
  if (attrs.creationDate != 0) {
    d->put("creationDate", Integer::g(attrs.creationDate));
  }
  if (attrs.mode != BT_FILE_MODE_NONE) {
    d->put("mode", bittorrent::getModeString(attrs.mode));
  }
  d->put("announceList", announceTiers(attrs));
  // A magnet download knows its name only once the metadata has arrived.
  if (!attrs.metadata.empty()) {
    auto info = Dict::g();
    info->put("name", attrs.name);
    d->put("info", std::move(info));
  }
  return d;
}

void gatherTorrentProgress(Dict* entry, const std::shared_ptr<RequestGroup>& group,
                           DownloadEngine* e, const std::vector<std::string>& keys) {
  const auto& dctx = group->getDownloadContext();
  if (!dctx->hasAttribute(CTX_ATTR_BT)) {
    return;
  }
  const TorrentAttribute* attrs = bittorrent::getTorrentAttrs(dctx);
  if (requestedKey(keys, "infoHash")) {
    entry->put("infoHash", util::toHex(attrs->infoHash));
  }
  if (requestedKey(keys, KEY_BITTORRENT)) {
    entry->put(KEY_BITTORRENT, gatherBitTorrentMetadata(*attrs));
  }
  if (requestedKey(keys, "numSeeders")) {
    entry->put("numSeeders", util::uitos(countLiveSeeders(findBtObject(e, group->getGID()))));
  }
  if (requestedKey(keys, "seeder")) {
    entry->put("seeder", boolText(group->isSeeder()));
  }
}

void gatherStoppedTorrent(Dict* entry, const std::vector<std::shared_ptr<ContextAttribute>>& attrs,
                          const std::vector<std::string>& keys) {
  if (attrs.size() <= CTX_ATTR_BT || !requestedKey(keys, KEY_BITTORRENT)) {
    return;
  }
  if (auto* torrent = dynamic_cast<const TorrentAttribute*>(attrs[CTX_ATTR_BT].get())) {
    entry->put(KEY_BITTORRENT, gatherBitTorrentMetadata(*torrent));
  }
}

void createPeerEntries(List* peers, const BtObject& bt) {
  for (const auto& peer : bt.peerStorage->getUsedPeers()) {
    if (peer->isActive()) {
      peers->append(createPeerEntry(*peer));
    }
  }
}

}  // namespace rpc
}  // namespace quarn
