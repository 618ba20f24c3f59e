#include "bittorrent/BtRegistry.h"

#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/torrent_reader.h"
#include "storage/DownloadContext.h"

namespace quarn {

BtObject* BtRegistry::get(uint64_t gid) const {
  auto it = pool_.find(gid);
  return it == pool_.end() ? nullptr : it->second.get();
}

const std::shared_ptr<DownloadContext>& BtRegistry::getDownloadContext(
    const std::string& infoHash) const {
  static const std::shared_ptr<DownloadContext> none;
  for (const auto& [gid, object] : pool_) {
    const auto& ctx = object->downloadContext;
    if (ctx && ctx->hasAttribute(CTX_ATTR_BT) &&
        bittorrent::getTorrentAttrs(ctx)->infoHash == infoHash) {
      return ctx;
    }
  }
  return none;
}

std::vector<std::shared_ptr<DownloadContext>> BtRegistry::getAllDownloadContext() const {
  std::vector<std::shared_ptr<DownloadContext>> contexts;
  for (const auto& [gid, object] : pool_) {
    if (object->downloadContext) {
      contexts.push_back(object->downloadContext);
    }
  }
  return contexts;
}

void BtRegistry::put(uint64_t gid, std::unique_ptr<BtObject> object) {
  pool_[gid] = std::move(object);
}

bool BtRegistry::remove(uint64_t gid) {
  return pool_.erase(gid) != 0;
}

}  // namespace quarn
