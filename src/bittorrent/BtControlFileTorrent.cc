#include "bittorrent/BtControlFileTorrent.h"

#include "bittorrent/BtRuntime.h"
#include "bittorrent/torrent_reader.h"

namespace quarn {

std::string BtControlFileTorrent::getInfoHash() const {
  return bittorrent::getTorrentAttrs(downloadContext_)->infoHash;
}

int64_t BtControlFileTorrent::getUploadLengthAtStartup() const {
  return btRuntime_->getUploadLengthAtStartup();
}

void BtControlFileTorrent::setUploadLengthAtStartup(int64_t length) {
  btRuntime_->setUploadLengthAtStartup(length);
}

}  // namespace quarn
