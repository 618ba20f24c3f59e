// Reads arbitrary bytes as a torrent. An accepted torrent must describe files
// that lie end to end inside the download directory with one hash per piece,
// and the document rebuilt from its metadata must read back the same.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "bittorrent/magnet.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "storage/DownloadContext.h"
#include "foundation/RecoverableException.h"
#include "foundation/util_path.h"
#include "foundation/util_string.h"

namespace {

std::shared_ptr<quarn::Option> fuzzOption() {
  auto option = std::make_shared<quarn::Option>();
  option->put(quarn::PREF_DIR, "/dl");
  return option;
}

void checkLayout(const quarn::DownloadContext& ctx) {
  int64_t offset = 0;
  for (const auto& entry : ctx.getFileEntries()) {
    if (entry->getOffset() != offset || entry->getLength() < 0 ||
        !quarn::util::startsWith(entry->getPath(), "/dl/") ||
        quarn::util::detectDirTraversal(entry->getPath().substr(4))) {
      abort();
    }
    offset += entry->getLength();
  }
  const auto pieceLength = static_cast<uint64_t>(ctx.getPieceLength());
  if (pieceLength == 0 || (static_cast<uint64_t>(offset) + pieceLength - 1) / pieceLength !=
                              ctx.getPieceHashes().size()) {
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto ctx = std::make_shared<quarn::DownloadContext>();
  try {
    quarn::bittorrent::loadFromMemory(std::string_view(reinterpret_cast<const char*>(data), size),
                                      ctx, fuzzOption(), "fuzz.torrent");
  } catch (const quarn::RecoverableException&) {
    if (ctx->hasAttribute(quarn::CTX_ATTR_BT)) {
      abort();
    }
    return 0;
  }
  checkLayout(*ctx);
  const auto* attrs = quarn::bittorrent::getTorrentAttrs(ctx);
  auto again = std::make_shared<quarn::DownloadContext>();
  quarn::bittorrent::loadFromMemory(quarn::bittorrent::metadata2Torrent(attrs->metadata, attrs),
                                    again, fuzzOption(), "fuzz.torrent");
  const auto* back = quarn::bittorrent::getTorrentAttrs(again);
  if (back->infoHash != attrs->infoHash || back->name != attrs->name ||
      again->getFileEntries().size() != ctx->getFileEntries().size()) {
    abort();
  }
  return 0;
}
