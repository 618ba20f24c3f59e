#include "bittorrent/bt_downloads.h"

#include <algorithm>
#include <sstream>

#include "bittorrent/BtDownloadStarter.h"
#include "bittorrent/BtPostDownloadHandler.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/UTMetadataPostDownloadHandler.h"
#include "bittorrent/announce_uri.h"
#include "bittorrent/magnet.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadStarter.h"
#include "engine/MetadataInfo.h"
#include "engine/ProtocolDetector.h"
#include "engine/RequestGroup.h"
#include "engine/download_handlers.h"
#include "engine/download_helper.h"
#include "foundation/BencodeParser.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/GenericParser.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/ValueBaseStructParserStateMachine.h"
#include "foundation/bencode2.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_path.h"
#include "foundation/util_range.h"
#include "foundation/util_string.h"
#include "storage/ByteArrayDiskWriter.h"
#include "storage/DiskWriterFactory.h"
#include "storage/DownloadContext.h"

namespace quarn {
namespace bittorrent {

namespace {

std::unique_ptr<ValueBase> parseTorrentFile(const std::string& path) {
  GenericParser<BencodeParser, ValueBaseStructParserStateMachine> parser;
  auto torrent = parseFile(parser, path);
  if (!torrent) {
    throw DL_ABORT_EX("Bencode decoding failed", error_code::BENCODE_PARSE_ERROR);
  }
  return torrent;
}

void applyFileSelection(DownloadContext& dctx, const Option& option) {
  auto selection = util::parseIntSegments(option.get(PREF_SELECT_FILE));
  selection.normalize();
  dctx.setFileFilter(std::move(selection));
  std::istringstream indexOut(option.get(PREF_INDEX_OUT));
  for (const auto& [index, path] : util::createIndexPaths(indexOut)) {
    dctx.setFilePathWithIndex(index, util::applyDir(option.get(PREF_DIR), path));
  }
}

std::shared_ptr<RequestGroup> createBtRequestGroup(const std::string& metaInfoUri,
                                                   const std::shared_ptr<Option>& optionTemplate,
                                                   const std::vector<std::string>& uris,
                                                   const ValueBase* torrent, bool adjustAnnounce) {
  auto option = std::make_shared<Option>(*optionTemplate);
  auto gid = getGID(option);
  auto group = std::make_shared<RequestGroup>(gid, option);
  auto dctx = std::make_shared<DownloadContext>();
  loadFromMemory(torrent, dctx, option, uris, metaInfoUri.empty() ? "default" : metaInfoUri);
  for (const auto& entry : dctx->getFileEntries()) {
    auto& remaining = entry->getRemainingUris();
    std::shuffle(remaining.begin(), remaining.end(), *SimpleRandomizer::getInstance());
  }
  group->setMetadataInfo(metaInfoUri.empty() ? std::make_shared<MetadataInfo>()
                                             : std::make_shared<MetadataInfo>(gid, metaInfoUri));
  if (adjustAnnounce) {
    adjustAnnounceUri(getTorrentAttrs(dctx), *option);
  }
  applyFileSelection(*dctx, *option);
  dctx->setAcceptMetalink(false);
  finishRequestGroup(group, dctx);
  return group;
}

// A torrent saved by an earlier metadata download of the same info hash
// replaces the magnet download; null when there is none.
std::shared_ptr<RequestGroup> loadSavedMetadata(const std::shared_ptr<Option>& option,
                                                const std::string& infoHash,
                                                const std::string& magnetUri) {
  const std::string path =
      util::applyDir(option->get(PREF_DIR), util::toHex(infoHash) + ".torrent");
  GenericParser<BencodeParser, ValueBaseStructParserStateMachine> parser;
  auto torrent = parseFile(parser, path);
  if (!torrent) {
    return nullptr;
  }
  std::shared_ptr<RequestGroup> group;
  try {
    group = createBtRequestGroup(path, option, {}, torrent.get(), true);
  } catch (const RecoverableException& e) {
    // A damaged saved file must not cost the link: its metadata is fetched
    // from peers instead.
    QLOG_ERROR_EX("Exception caught", e);
    return nullptr;
  }
  const auto& loaded = getTorrentAttrs(group->getDownloadContext())->infoHash;
  if (loaded != infoHash) {
    QLOG_WARN(fmt("BitTorrent metadata loaded from %s has unexpected infohash %s\n", path.c_str(),
                  util::toHex(loaded).c_str()));
    return nullptr;
  }
  QLOG_NOTICE(fmt(_("BitTorrent metadata was loaded from %s"), path.c_str()));
  group->setMetadataInfo(std::make_shared<MetadataInfo>(group->getGroupId(), magnetUri));
  return group;
}

// The download that fetches a magnet link's metadata from peers; it keeps
// the metadata in memory and hands it on as a torrent download.
std::shared_ptr<RequestGroup> createBtMagnetRequestGroup(
    const std::string& magnetUri, const std::shared_ptr<Option>& optionTemplate) {
  auto dctx = std::make_shared<DownloadContext>(METADATA_PIECE_SIZE, 0);
  dctx->setKnowsTotalLength(false);
  loadMagnet(magnetUri, dctx);
  auto* attrs = getTorrentAttrs(dctx);
  if (optionTemplate->getAsBool(PREF_BT_LOAD_SAVED_METADATA)) {
    if (auto saved = loadSavedMetadata(optionTemplate, attrs->infoHash, magnetUri)) {
      return saved;
    }
  }
  auto option = std::make_shared<Option>(*optionTemplate);
  adjustAnnounceUri(attrs, *option);
  dctx->getFirstFileEntry()->setPath(util::replace(attrs->name, "/", "-"));
  auto gid = getGID(option);
  auto group = std::make_shared<RequestGroup>(gid, option);
  group->setFileAllocationEnabled(false);
  group->setLocalFileCheckEnabled(false);
  group->clearPostDownloadHandler();
  if (const auto* handler = download_handlers::getUTMetadataPostDownloadHandler()) {
    group->addPostDownloadHandler(handler);
  }
  group->setDiskWriterFactory(std::make_shared<AnonDiskWriterFactory<ByteArrayDiskWriter>>());
  group->setMetadataInfo(std::make_shared<MetadataInfo>(gid, magnetUri));
  group->markInMemoryDownload();
  finishRequestGroup(group, dctx);
  return group;
}

}  // namespace

void createRequestGroupForBitTorrent(std::vector<std::shared_ptr<RequestGroup>>& result,
                                     const std::shared_ptr<Option>& option,
                                     const std::vector<std::string>& uris,
                                     const std::string& metaInfoUri, const ValueBase* torrent,
                                     bool adjustAnnounce) {
  std::vector<std::string> nargs =
      option->get(PREF_PARAMETERIZED_URI) == QN_V_TRUE ? unfoldURI(uris) : uris;
  auto group = createBtRequestGroup(metaInfoUri, option, nargs, torrent, adjustAnnounce);
  group->setMaxConcurrentCommands(option->getAsInt(PREF_SPLIT));
  result.push_back(group);
}

void createRequestGroupForBitTorrent(std::vector<std::shared_ptr<RequestGroup>>& result,
                                     const std::shared_ptr<Option>& option,
                                     const std::vector<std::string>& uris,
                                     const std::string& metaInfoUri, const std::string& torrentData,
                                     bool adjustAnnounce) {
  std::unique_ptr<ValueBase> torrent;
  if (torrentData.empty()) {
    torrent = parseTorrentFile(metaInfoUri);
  } else {
    torrent = bencode2::decode(torrentData);
    if (!torrent) {
      throw DL_ABORT_EX("Bencode decoding failed", error_code::BENCODE_PARSE_ERROR);
    }
  }
  createRequestGroupForBitTorrent(result, option, uris, metaInfoUri, torrent.get(), adjustAnnounce);
}

bool makeDownloads(std::vector<std::shared_ptr<RequestGroup>>& result,
                   const std::shared_ptr<Option>& option, const std::string& arg,
                   bool ignoreLocalPath) {
  try {
    parseMagnet(arg);
  } catch (RecoverableException&) {
    if (ignoreLocalPath || !ProtocolDetector().guessTorrentFile(arg)) {
      return false;
    }
    auto torrent = parseTorrentFile(arg);
    result.push_back(createBtRequestGroup(arg, option, {}, torrent.get(), true));
    return true;
  }
  result.push_back(createBtMagnetRequestGroup(arg, option));
  return true;
}

void installDownloadHandlers() {
  static const BtPostDownloadHandler handler;
  download_handlers::setBtPostDownloadHandler(&handler);
  static const UTMetadataPostDownloadHandler metadataHandler;
  download_handlers::setUTMetadataPostDownloadHandler(&metadataHandler);
}

void install(DownloadEngine& engine) {
  engine.setService<BtRegistry>(std::make_unique<BtRegistry>());
  engine.setService<TorrentDownloadStarter>(std::make_unique<BtDownloadStarter>());
}

}  // namespace bittorrent
}  // namespace quarn
