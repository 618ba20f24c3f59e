#include "rpc/status_builders.h"

#include <algorithm>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/CheckIntegrityEntry.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadResult.h"
#include "engine/RequestGroup.h"
#include "foundation/Dict.h"
#include "foundation/List.h"
#include "foundation/String.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"
#include "rpc/torrent_status.h"
#include "storage/BitfieldMan.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PieceStorage.h"
#include "storage/SequentialPicker.h"
#include "storage/TransferStat.h"

namespace quarn {
namespace rpc {

namespace {

const char KEY_GID[] = "gid";
const char KEY_FILES[] = "files";
const char KEY_BITFIELD[] = "bitfield";

void putIf(Dict* entry, const std::vector<std::string>& keys, const char* key, std::string value) {
  if (requestedKey(keys, key)) {
    entry->put(key, std::move(value));
  }
}

std::unique_ptr<List> gidList(const std::vector<GroupId::gid_t>& gids) {
  auto list = List::g();
  for (auto gid : gids) {
    list->append(GroupId::toHex(gid));
  }
  return list;
}

void putRelations(Dict* entry, const std::vector<std::string>& keys,
                  const std::vector<GroupId::gid_t>& followedBy, GroupId::gid_t following,
                  GroupId::gid_t belongsTo) {
  if (!followedBy.empty() && requestedKey(keys, "followedBy")) {
    entry->put("followedBy", gidList(followedBy));
  }
  if (following != 0) {
    putIf(entry, keys, "following", GroupId::toHex(following));
  }
  if (belongsTo != 0) {
    putIf(entry, keys, "belongsTo", GroupId::toHex(belongsTo));
  }
}

// The integrity check that the engine runs now, or has queued, for a download.
void putIntegrityState(Dict* entry, const RequestGroup* group, DownloadEngine* e) {
  auto* ciman = e ? e->getCheckIntegrityMan() : nullptr;
  if (!ciman) {
    return;
  }
  CheckIntegrityEntry* picked = ciman->getPickedEntry();
  if (picked && picked->getRequestGroup() == group) {
    entry->put("verifiedLength", util::itos(picked->getCurrentLength()));
  } else if (ciman->isQueued(
                 [group](const CheckIntegrityEntry& e) { return e.getRequestGroup() == group; })) {
    entry->put("verifyIntegrityPending", "true");
  }
}

}  // namespace

bool requestedKey(const std::vector<std::string>& keys, const std::string& key) {
  return keys.empty() || std::find(keys.begin(), keys.end(), key) != keys.end();
}

void createUriEntry(List* uriList, const std::shared_ptr<FileEntry>& file) {
  auto add = [uriList](const std::string& uri, const char* status) {
    auto d = Dict::g();
    d->put("uri", uri);
    d->put("status", status);
    uriList->append(std::move(d));
  };
  for (const auto& uri : file->getSpentUris()) {
    add(uri, "used");
  }
  for (const auto& uri : file->getRemainingUris()) {
    add(uri, "waiting");
  }
}

void createFileEntry(List* files, const std::vector<std::shared_ptr<FileEntry>>& entries,
                     int64_t totalLength, int32_t pieceLength, const std::string& bitfield) {
  std::unique_ptr<BitfieldMan> bf;
  if (!bitfield.empty() && pieceLength > 0) {
    bf = std::make_unique<BitfieldMan>(pieceLength, totalLength);
    bf->setBitfield(reinterpret_cast<const uint8_t*>(bitfield.data()), bitfield.size());
  }
  size_t index = 1;
  for (const auto& fe : entries) {
    auto d = Dict::g();
    d->put("index", util::uitos(index++));
    d->put("path", fe->getPath());
    d->put("length", util::itos(fe->getLength()));
    d->put("completedLength",
           util::itos(bf ? bf->getOffsetCompletedLength(fe->getOffset(), fe->getLength()) : 0));
    d->put("selected", fe->isRequested() ? "true" : "false");
    auto uris = List::g();
    createUriEntry(uris.get(), fe);
    d->put("uris", std::move(uris));
    files->append(std::move(d));
  }
}

void gatherProgress(Dict* entry, const std::shared_ptr<RequestGroup>& group, DownloadEngine* e,
                    const std::vector<std::string>& keys) {
  const auto& dctx = group->getDownloadContext();
  const auto& ps = group->getPieceStorage();
  putIf(entry, keys, KEY_GID, group->getGroupId()->toHex());
  putIf(entry, keys, "totalLength", util::itos(group->getTotalLength()));
  putIf(entry, keys, "completedLength", util::itos(group->getCompletedLength()));
  TransferStat stat = group->calculateStat();
  putIf(entry, keys, "downloadSpeed", util::itos(stat.downloadSpeed));
  putIf(entry, keys, "uploadSpeed", util::itos(stat.uploadSpeed));
  // A torrent counts the uploads of its earlier sessions too.
  putIf(entry, keys, "uploadLength", util::itos(stat.allTimeUploadLength));
  putIf(entry, keys, "connections", util::itos(group->getNumConnection()));
  std::string bitfield;
  if (ps && ps->getBitfieldLength() > 0) {
    bitfield.assign(reinterpret_cast<const char*>(ps->getBitfield()), ps->getBitfieldLength());
    putIf(entry, keys, KEY_BITFIELD, util::toHex(bitfield));
  }
  putIf(entry, keys, "pieceLength", util::itos(dctx->getPieceLength()));
  putIf(entry, keys, "numPieces", util::uitos(dctx->getNumPieces()));
  putRelations(entry, keys, group->followedBy(), group->following(), group->getBelongsTo());
  if (requestedKey(keys, KEY_FILES)) {
    auto files = List::g();
    createFileEntry(files.get(), dctx->getFileEntries(), dctx->getTotalLength(),
                    dctx->getPieceLength(), bitfield);
    entry->put(KEY_FILES, std::move(files));
  }
  putIf(entry, keys, "dir", group->getOption()->get(PREF_DIR));
  gatherTorrentProgress(entry, group, e, keys);
  putIntegrityState(entry, group.get(), e);
}

void gatherStoppedDownload(Dict* entry, const std::shared_ptr<DownloadResult>& ds,
                           const std::vector<std::string>& keys) {
  putIf(entry, keys, KEY_GID, ds->gid->toHex());
  putIf(entry, keys, "errorCode", util::itos(static_cast<int>(ds->result)));
  putIf(entry, keys, "errorMessage", ds->resultMessage);
  const char* status = ds->result == error_code::FINISHED  ? "complete"
                       : ds->result == error_code::REMOVED ? "removed"
                                                           : "error";
  putIf(entry, keys, "status", status);
  putRelations(entry, keys, ds->followedBy, ds->following, ds->belongsTo);
  if (requestedKey(keys, KEY_FILES)) {
    auto files = List::g();
    createFileEntry(files.get(), ds->fileEntries, ds->totalLength, ds->pieceLength, ds->bitfield);
    entry->put(KEY_FILES, std::move(files));
  }
  putIf(entry, keys, "totalLength", util::itos(ds->totalLength));
  putIf(entry, keys, "completedLength", util::itos(ds->completedLength));
  putIf(entry, keys, "uploadLength", util::itos(ds->uploadLength));
  if (!ds->bitfield.empty()) {
    putIf(entry, keys, KEY_BITFIELD, util::toHex(ds->bitfield));
  }
  putIf(entry, keys, "downloadSpeed", "0");
  putIf(entry, keys, "uploadSpeed", "0");
  putIf(entry, keys, "connections", "0");
  if (!ds->infoHash.empty()) {
    putIf(entry, keys, "infoHash", util::toHex(ds->infoHash));
    putIf(entry, keys, "numSeeders", "0");
  }
  putIf(entry, keys, "pieceLength", util::itos(ds->pieceLength));
  putIf(entry, keys, "numPieces", util::uitos(ds->numPieces));
  putIf(entry, keys, "dir", ds->dir);
  gatherStoppedTorrent(entry, ds->attrs, keys);
}

std::pair<size_t, size_t> getPaginationRange(int64_t o, int64_t n, size_t s) {
  const auto size = static_cast<int64_t>(s);
  if (n <= 0) {
    return {0, 0};
  }
  if (o >= 0) {
    if (o >= size) {
      return {0, 0};
    }
    // min(s - o, n) rather than o + n, which overflows for a large n.
    return {static_cast<size_t>(o), static_cast<size_t>(o + std::min(size - o, n))};
  }
  if (o < -size) {
    return {0, 0};
  }
  int64_t t = size + o;
  int64_t start = t - std::min(n - 1, t);
  int64_t count = std::min(n, t + 1);
  return {static_cast<size_t>(start), static_cast<size_t>(start + std::min(size - start, count))};
}

}  // namespace rpc
}  // namespace quarn
