#include "metalink/Metalink2RequestGroup.h"

#include <algorithm>
#include <limits>

#include "bittorrent/BtDependency.h"
#include "bittorrent/bt_downloads.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadSources.h"
#include "engine/GroupId.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroup.h"
#include "engine/download_handlers.h"
#include "engine/download_helper.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_path.h"
#include "foundation/util_range.h"
#include "foundation/util_string.h"
#include "metalink/MetalinkEntry.h"
#include "metalink/MetalinkMetaurl.h"
#include "metalink/MetalinkResource.h"
#include "metalink/metalink_helper.h"
#include "storage/Checksum.h"
#include "storage/ChunkChecksum.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"

namespace quarn {

namespace {

using Groups = std::vector<std::shared_ptr<RequestGroup>>;

// Lowers the priority numbers of the mirrors the user prefers so that they
// sort before every other.
constexpr int32_t PREFERRED = -999999;

std::vector<std::string> preferredLocations(const Option& option) {
  std::vector<std::string> locations;
  if (option.defined(PREF_METALINK_LOCATION)) {
    const std::string& text = option.get(PREF_METALINK_LOCATION);
    util::split(text.begin(), text.end(), std::back_inserter(locations), ',', true);
    for (auto& location : locations) {
      util::lowercase(location);
    }
  }
  return locations;
}

void applyPreferences(std::vector<std::unique_ptr<MetalinkEntry>>& entries, const Option& option) {
  const auto locations = preferredLocations(option);
  std::string protocol = option.get(PREF_METALINK_PREFERRED_PROTOCOL);
  for (auto& entry : entries) {
    entry->dropUnsupportedResource();
    if (entry->resources.empty() && entry->metaurls.empty()) {
      continue;
    }
    entry->setLocationPriority(locations, PREFERRED);
    if (protocol != "none") {
      entry->setProtocolPriority(protocol, PREFERRED);
    }
  }
}

// Keeps the entries whose 1-based positions "select-file" names.
void selectFiles(std::vector<std::unique_ptr<MetalinkEntry>>& entries, const Option& option) {
  SegList<int> sgl = util::parseIntSegments(option.get(PREF_SELECT_FILE));
  sgl.normalize();
  if (!sgl.hasNext()) {
    return;
  }
  std::vector<std::unique_ptr<MetalinkEntry>> selected;
  int wanted = sgl.next();
  int position = 0;
  for (auto& entry : entries) {
    if (++position != wanted) {
      continue;
    }
    selected.push_back(std::move(entry));
    if (!sgl.hasNext()) {
      break;
    }
    wanted = sgl.next();
  }
  entries = std::move(selected);
}

// The mirrors a client connection can use, best first; torrents are not
// mirrors.
std::vector<std::string> mirrorUris(MetalinkEntry& entry) {
  entry.reorderResourcesByPriority();
  std::vector<std::string> uris;
  for (const auto& res : entry.resources) {
    QLOG_DEBUG(fmt("priority=%d url=%s", res->priority, res->url.c_str()));
    if (res->type == MetalinkResource::TYPE_FTP || res->type == MetalinkResource::TYPE_HTTP ||
        res->type == MetalinkResource::TYPE_HTTPS) {
      uris.push_back(res->url);
    }
  }
  return uris;
}

void describeFile(FileEntry& file, const MetalinkEntry& entry, const Option& option) {
  file.setMaxConnectionPerServer(option.getAsInt(PREF_MAX_CONNECTION_PER_SERVER));
  file.setSuffixPath(entry.file->getPath());
  if (!entry.metaurls.empty()) {
    file.setOriginalName(entry.metaurls.front()->name);
  }
  if (option.getAsBool(PREF_METALINK_ENABLE_UNIQUE_PROTOCOL)) {
    file.setUniqueProtocol(true);
  }
}

// The download context of a file on its own.
std::shared_ptr<DownloadContext> singleFileContext(MetalinkEntry& entry, const Option& option,
                                                   int& numConcurrent) {
  QLOG_INFO(fmt(_("Metalink: Queueing %s for download."), entry.getPath().c_str()));
  auto uris = mirrorUris(entry);
  int32_t pieceLength = entry.chunkChecksum ? entry.chunkChecksum->getPieceLength()
                                            : option.getAsInt(PREF_PIECE_LENGTH);
  auto dctx = std::make_shared<DownloadContext>(
      pieceLength, entry.getLength(), util::applyDir(option.get(PREF_DIR), entry.getPath()));
  auto& file = *dctx->getFirstFileEntry();
  file.setUris(uris);
  describeFile(file, entry, option);
  if (entry.checksum) {
    dctx->setDigest(entry.checksum->getHashType(), entry.checksum->getDigest());
  }
  if (entry.chunkChecksum) {
    const auto& hashes = entry.chunkChecksum->getPieceHashes();
    dctx->setPieceHashes(entry.chunkChecksum->getHashType(), hashes.begin(), hashes.end());
  }
  dctx->setSignature(entry.popSignature());
  const int split = option.getAsInt(PREF_SPLIT);
  numConcurrent =
      entry.maxConnections >= 0 && entry.maxConnections < split ? entry.maxConnections : split;
  return dctx;
}

// The download context of the files of one torrent, laid end to end.
std::shared_ptr<DownloadContext> torrentMembersContext(const std::vector<MetalinkEntry*>& entries,
                                                       const Option& option) {
  auto dctx = std::make_shared<DownloadContext>();
  dctx->setPieceLength(option.getAsInt(PREF_PIECE_LENGTH));
  std::vector<std::shared_ptr<FileEntry>> files;
  int64_t offset = 0;
  for (MetalinkEntry* entry : entries) {
    QLOG_INFO(fmt(_("Metalink: Queueing %s for download as a member."), entry->getPath().c_str()));
    QLOG_DEBUG(fmt("originalName = %s", entry->metaurls.front()->name.c_str()));
    auto uris = mirrorUris(*entry);
    auto file = std::make_shared<FileEntry>(util::applyDir(option.get(PREF_DIR), entry->getPath()),
                                            entry->getLength(), offset, uris);
    describeFile(*file, *entry, option);
    if (offset > std::numeric_limits<int64_t>::max() - entry->getLength()) {
      throw DOWNLOAD_FAILURE_EXCEPTION(
          fmt("Too large file size. size=%lld", static_cast<long long>(offset)));
    }
    offset += entry->getLength();
    files.push_back(std::move(file));
  }
  dctx->setFileEntries(files.begin(), files.end());
  return dctx;
}

// The download of the torrent (or, for a magnet link, of its metadata) that
// a metaurl names; null when the metaurl gives none. It only feeds the files'
// download, so it keeps its data in memory and follows nothing it fetches.
std::shared_ptr<RequestGroup> createTorrentDownload(const std::string& metaurl,
                                                    const std::shared_ptr<Option>& option) {
  DownloadSources sources;
  sources.add(bittorrent::makeDownloads);
  Groups made;
  createRequestGroupForUri(made, option, {metaurl}, true, true, false, &sources);
  if (made.empty()) {
    return nullptr;
  }
  auto torrent = made.front();
  torrent->setMaxConcurrentCommands(1);
  torrent->clearPreDownloadHandler();
  torrent->clearPostDownloadHandler();
  torrent->addPreDownloadHandler(download_handlers::getMemoryPreDownloadHandler());
  torrent->markInMemoryDownload();
  torrent->getDownloadContext()->setAcceptMetalink(false);
  return torrent;
}

bool everyFileHasMirrors(const DownloadContext& dctx) {
  const auto& files = dctx.getFileEntries();
  return std::all_of(files.begin(), files.end(),
                     [](const auto& file) { return !file->getRemainingUris().empty(); });
}

// The files wait for the torrent and fall back to their mirrors when it
// fails.
void waitForTorrent(RequestGroup& files, const std::shared_ptr<RequestGroup>& torrent) {
  files.dependsOn(std::make_unique<BtDependency>(&files, torrent));
  torrent->setBelongsTo(files.getGID());
  // With mirrors to fall back on, a metadata download that stalls is given
  // up soon.
  const auto& torrentOption = torrent->getOption();
  const int stopTimeout = torrentOption->getAsInt(PREF_BT_STOP_TIMEOUT);
  if ((stopTimeout == 0 || stopTimeout > 30) && everyFileHasMirrors(*files.getDownloadContext())) {
    torrentOption->put(PREF_BT_STOP_TIMEOUT, "30");
  }
}

}  // namespace

void Metalink2RequestGroup::generate(Groups& groups, const std::string& metalinkFile,
                                     const std::shared_ptr<Option>& option,
                                     const std::string& baseUri) {
  Groups tempGroups;
  createRequestGroup(tempGroups, metalink::parseAndQuery(metalinkFile, option.get(), baseUri),
                     option);
  auto metadataInfo = metalinkFile == "/dev/stdin"
                          ? std::make_shared<MetadataInfo>()
                          : std::make_shared<MetadataInfo>(GroupId::create(), metalinkFile);
  for (auto& group : tempGroups) {
    group->setMetadataInfo(metadataInfo);
  }
  groups.insert(groups.end(), tempGroups.begin(), tempGroups.end());
}

void Metalink2RequestGroup::generate(Groups& groups, BinaryStream* binaryStream,
                                     const std::shared_ptr<Option>& option,
                                     const std::string& baseUri) {
  Groups tempGroups;
  createRequestGroup(tempGroups, metalink::parseAndQuery(binaryStream, option.get(), baseUri),
                     option);
  auto metadataInfo = std::make_shared<MetadataInfo>();
  for (auto& group : tempGroups) {
    group->setMetadataInfo(metadataInfo);
  }
  groups.insert(groups.end(), tempGroups.begin(), tempGroups.end());
}

void Metalink2RequestGroup::createRequestGroup(Groups& groups,
                                               std::vector<std::unique_ptr<MetalinkEntry>> entries,
                                               const std::shared_ptr<Option>& option) {
  if (entries.empty()) {
    QLOG_NOTICE(_("No file matched with your preference."));
    return;
  }
  applyPreferences(entries, *option);
  selectFiles(entries, *option);
  for (auto& entry : entries) {
    entry->reorderMetaurlsByPriority();
  }
  for (const auto& [metaurl, members] : metalink::groupEntryByMetaurlName(entries)) {
    QLOG_INFO(fmt("Processing metaurl group metaurl=%s", metaurl.c_str()));
    std::shared_ptr<RequestGroup> torrent;
    if (!metaurl.empty()) {
      torrent = createTorrentDownload(metaurl, option);
      if (torrent) {
        groups.push_back(torrent);
      }
    }
    auto groupOption = std::make_shared<Option>(*option);
    auto group = std::make_shared<RequestGroup>(GroupId::create(), groupOption);
    std::shared_ptr<DownloadContext> dctx;
    int numConcurrent = option->getAsInt(PREF_SPLIT);
    if (members.size() == 1) {
      dctx = singleFileContext(*members.front(), *option, numConcurrent);
    } else {
      dctx = torrentMembersContext(members, *option);
    }
    group->setDownloadContext(dctx);
    group->setMaxConcurrentCommands(numConcurrent);
    if (groupOption->getAsBool(PREF_ENABLE_RPC)) {
      group->setPauseRequested(groupOption->getAsBool(PREF_PAUSE));
    }
    // "pause" and "gid" were meant for the downloads made at start-up.
    groupOption->remove(PREF_PAUSE);
    groupOption->remove(PREF_GID);
    // The mirrors are known; a Link header must not offer another document.
    dctx->setAcceptMetalink(false);
    if (torrent) {
      waitForTorrent(*group, torrent);
    }
    groups.push_back(group);
  }
}

}  // namespace quarn
