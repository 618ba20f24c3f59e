#include "bittorrent/UTMetadataPostDownloadHandler.h"

#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/bt_downloads.h"
#include "bittorrent/magnet.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupCriteria.h"
#include "engine/follow_up_downloads.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/MessageDigest.h"
#include "foundation/ValueBase.h"
#include "foundation/bencode2.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_path.h"
#include "foundation/util_string.h"
#include "storage/DownloadContext.h"
#include "storage/PieceStorage.h"
#include "storage/stored_data.h"

namespace quarn {

namespace {

// A torrent download still without its info dictionary: a magnet link's
// metadata download.
class MetadataDownloadCriteria : public RequestGroupCriteria {
 public:
  bool match(const RequestGroup* group) const override {
    const auto& ctx = group->getDownloadContext();
    return ctx && ctx->hasAttribute(CTX_ATTR_BT) &&
           bittorrent::getTorrentAttrs(ctx)->metadata.empty();
  }
};

void saveTorrent(const Option& option, const std::string& infoHash, const std::string& torrent) {
  const std::string path = util::applyDir(option.get(PREF_DIR), util::toHex(infoHash) + ".torrent");
  if (util::saveAs(path, torrent)) {
    QLOG_NOTICE(fmt(_("Saved metadata as %s."), path.c_str()));
  } else {
    QLOG_NOTICE(fmt(_("Saving metadata as %s failed. Maybe file already exists."), path.c_str()));
  }
}

}  // namespace

UTMetadataPostDownloadHandler::UTMetadataPostDownloadHandler() {
  setCriteria(std::make_unique<MetadataDownloadCriteria>());
}

void UTMetadataPostDownloadHandler::getNextRequestGroups(
    std::vector<std::shared_ptr<RequestGroup>>& groups, RequestGroup* requestGroup) const {
  const auto& ctx = requestGroup->getDownloadContext();
  const auto* attrs = bittorrent::getTorrentAttrs(ctx);
  const std::string metadata = readStoredData(requestGroup->getPieceStorage()->getDiskAdaptor());
  // The pieces came from strangers: only the link's own info dictionary may
  // become a torrent.
  const std::string digest =
      MessageDigest::sha1()->update(metadata.data(), metadata.size()).digest();
  if (digest != attrs->infoHash) {
    throw DL_ABORT_EX("Got wrong ut_metadata");
  }
  const std::string torrent = bittorrent::metadata2Torrent(metadata, attrs);
  const auto& option = requestGroup->getOption();
  if (option->getAsBool(PREF_BT_SAVE_METADATA)) {
    saveTorrent(*option, attrs->infoHash, torrent);
  }
  if (option->getAsBool(PREF_BT_METADATA_ONLY)) {
    return;
  }
  auto decoded = bencode2::decode(torrent);
  std::vector<std::shared_ptr<RequestGroup>> newGroups;
  bittorrent::createRequestGroupForBitTorrent(newGroups, option, {}, "", decoded.get(), false);
  appendFollowUpDownloads(groups, newGroups, requestGroup, requestGroup->getMetadataInfo());
}

}  // namespace quarn
