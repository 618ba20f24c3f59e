#include "bittorrent/torrent_reader.h"

#include <algorithm>
#include <limits>

#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/BencodeParser.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/File.h"
#include "foundation/GenericParser.h"
#include "foundation/MessageDigest.h"
#include "foundation/ValueBaseStructParserStateMachine.h"
#include "foundation/bencode2.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_chars.h"
#include "foundation/util_path.h"
#include "foundation/util_string.h"
#include "storage/DownloadContext.h"

namespace quarn {
namespace bittorrent {

namespace {

constexpr char C_NAME[] = "name";
constexpr char C_NAME_UTF8[] = "name.utf-8";
constexpr char C_FILES[] = "files";
constexpr char C_LENGTH[] = "length";
constexpr char C_PATH[] = "path";
constexpr char C_PATH_UTF8[] = "path.utf-8";
constexpr char C_INFO[] = "info";
constexpr char C_PIECES[] = "pieces";
constexpr char C_PIECE_LENGTH[] = "piece length";
constexpr char C_PRIVATE[] = "private";
constexpr char C_URL_LIST[] = "url-list";
constexpr char C_ANNOUNCE[] = "announce";
constexpr char C_ANNOUNCE_LIST[] = "announce-list";
constexpr char C_NODES[] = "nodes";
constexpr char C_CREATION_DATE[] = "creation date";
constexpr char C_COMMENT[] = "comment";
constexpr char C_COMMENT_UTF8[] = "comment.utf-8";
constexpr char C_CREATED_BY[] = "created by";

DlAbortEx malformed(const std::string& message) {
  return DL_ABORT_EX(message, error_code::BITTORRENT_PARSE_ERROR);
}

DlAbortEx missing(const char* key) {
  return malformed(fmt(_("Missing %s in torrent metainfo."), key));
}

void checkNonNegative(const char* key, int64_t value) {
  if (value < 0) {
    throw malformed(
        fmt(_("%s does not allow negative integer %lld"), key, static_cast<long long>(value)));
  }
}

void checkTraversal(const std::string& path) {
  if (util::detectDirTraversal(path)) {
    throw malformed(fmt(_("Detected directory traversal directive in %s"), path.c_str()));
  }
}

std::string strippedText(const std::string& s) {
  return util::encodeNonUtf8(util::strip(s, "\r\n\t "));
}

// A "piece length" of 0 would divide the total length by zero, and one above
// the int range does not fit the context's piece length.
int32_t readPieceLength(const Dict& info) {
  const auto* value = valueAs<Integer>(info.get(C_PIECE_LENGTH));
  if (!value) {
    throw missing(C_PIECE_LENGTH);
  }
  checkNonNegative(C_PIECE_LENGTH, value->i());
  if (value->i() == 0 || value->i() > std::numeric_limits<int32_t>::max()) {
    throw malformed(fmt("%s must be from 1 to %d, not %lld", C_PIECE_LENGTH,
                        std::numeric_limits<int32_t>::max(), static_cast<long long>(value->i())));
  }
  return static_cast<int32_t>(value->i());
}

int64_t readLength(const Dict& dict) {
  const auto* value = valueAs<Integer>(dict.get(C_LENGTH));
  if (!value) {
    throw missing(C_LENGTH);
  }
  checkNonNegative(C_LENGTH, value->i());
  return value->i();
}

std::vector<std::string> extractUrlList(const ValueBase* value) {
  std::vector<std::string> urls;
  if (const auto* s = valueAs<String>(value)) {
    urls.push_back(util::encodeNonUtf8(s->s()));
  } else if (const auto* list = valueAs<List>(value)) {
    for (const auto& elem : *list) {
      if (const auto* u = valueAs<String>(elem)) {
        urls.push_back(util::encodeNonUtf8(u->s()));
      }
    }
  }
  return urls;
}

std::string readName(const Dict& info, const std::string& defaultName,
                     const std::string& overrideName) {
  if (!overrideName.empty()) {
    return overrideName;
  }
  const char* key = info.containsKey(C_NAME_UTF8) ? C_NAME_UTF8 : C_NAME;
  if (const auto* s = valueAs<String>(info.get(key))) {
    std::string name = util::encodeNonUtf8(s->s());
    if (util::detectDirTraversal(name)) {
      throw malformed(fmt(_("Detected directory traversal directive in %s"), s->s().c_str()));
    }
    return name;
  }
  return File(defaultName).getBasename() + ".file";
}

template <typename Encoder>
std::string joinPath(const std::vector<std::string>& elements, Encoder encode) {
  std::string path;
  for (size_t i = 0; i < elements.size(); ++i) {
    if (i > 0) {
      path += '/';
    }
    path += encode(elements[i]);
  }
  return path;
}

struct FileLayout {
  std::vector<std::shared_ptr<FileEntry>> entries;
  BtFileMode mode;
};

std::shared_ptr<FileEntry> makeEntry(const Option& option, const std::string& utf8Path,
                                     int64_t length, int64_t offset,
                                     const std::vector<std::string>& uris, int32_t maxConn) {
  std::string suffixPath = util::escapePath(utf8Path);
  auto entry = std::make_shared<FileEntry>(util::applyDir(option.get(PREF_DIR), suffixPath), length,
                                           offset, uris);
  entry->setOriginalName(utf8Path);
  entry->setSuffixPath(std::move(suffixPath));
  entry->setMaxConnectionPerServer(maxConn);
  return entry;
}

std::vector<std::string> readPathList(const Dict& fileDict) {
  const char* key = fileDict.containsKey(C_PATH_UTF8) ? C_PATH_UTF8 : C_PATH;
  const auto* list = valueAs<List>(fileDict.get(key));
  if (!list || list->empty()) {
    throw malformed("Path is empty.");
  }
  std::vector<std::string> elements;
  for (const auto& elem : *list) {
    const auto* s = valueAs<String>(elem);
    if (!s) {
      throw malformed("Path element is not string.");
    }
    elements.push_back(s->s());
  }
  return elements;
}

FileLayout readMultiFile(const List& files, const Option& option, const std::string& name,
                         const std::vector<std::string>& webSeeds, int32_t maxConn) {
  FileLayout layout{{}, BT_FILE_MODE_MULTI};
  int64_t offset = 0;
  for (const auto& elem : files) {
    const auto* fileDict = valueAs<Dict>(elem);
    if (!fileDict) {
      continue;
    }
    const int64_t length = readLength(*fileDict);
    if (offset > std::numeric_limits<int64_t>::max() - length) {
      throw DOWNLOAD_FAILURE_EXCEPTION(
          fmt("Too large file size. size=%lld", static_cast<long long>(offset)));
    }
    std::vector<std::string> elements{name};
    auto pathList = readPathList(*fileDict);
    elements.insert(elements.end(), pathList.begin(), pathList.end());
    const std::string utf8Path = joinPath(elements, util::encodeNonUtf8);
    checkTraversal(utf8Path);
    const std::string uriPath =
        joinPath(elements, [](const std::string& s) { return util::percentEncode(s); });
    std::vector<std::string> uris;
    for (const auto& seed : webSeeds) {
      uris.push_back(util::endsWith(seed, "/") ? seed + uriPath : seed + "/" + uriPath);
    }
    layout.entries.push_back(makeEntry(option, utf8Path, length, offset, uris, maxConn));
    offset += length;
  }
  return layout;
}

FileLayout readSingleFile(const Dict& info, const Option& option, const std::string& name,
                          const std::vector<std::string>& webSeeds, int32_t maxConn) {
  const int64_t length = readLength(info);
  std::vector<std::string> uris;
  for (const auto& seed : webSeeds) {
    uris.push_back(util::endsWith(seed, "/") ? seed + util::percentEncode(name) : seed);
  }
  return FileLayout{{makeEntry(option, name, length, 0, uris, maxConn)}, BT_FILE_MODE_SINGLE};
}

void readPieceHashes(DownloadContext& ctx, const String& pieces) {
  std::vector<std::string> hashes;
  const std::string& s = pieces.s();
  for (size_t i = 0; i + PIECE_HASH_LENGTH <= s.size(); i += PIECE_HASH_LENGTH) {
    hashes.push_back(s.substr(i, PIECE_HASH_LENGTH));
  }
  ctx.setPieceHashes("sha-1", hashes.begin(), hashes.end());
}

void readAnnounceList(TorrentAttribute& attrs, const Dict& root) {
  if (const auto* tiers = valueAs<List>(root.get(C_ANNOUNCE_LIST))) {
    for (const auto& tierValue : *tiers) {
      const auto* tier = valueAs<List>(tierValue);
      if (!tier) {
        continue;
      }
      std::vector<std::string> uris;
      for (const auto& uri : *tier) {
        if (const auto* s = valueAs<String>(uri)) {
          uris.push_back(strippedText(s->s()));
        }
      }
      if (!uris.empty()) {
        attrs.announceList.push_back(std::move(uris));
      }
    }
  } else if (const auto* announce = valueAs<String>(root.get(C_ANNOUNCE))) {
    attrs.announceList.push_back({strippedText(announce->s())});
  }
}

void readNodes(TorrentAttribute& attrs, const Dict& root) {
  const auto* nodes = valueAs<List>(root.get(C_NODES));
  if (!nodes) {
    return;
  }
  for (const auto& nodeValue : *nodes) {
    const auto* node = valueAs<List>(nodeValue);
    if (!node || node->size() != 2) {
      continue;
    }
    const auto* host = valueAs<String>(node->get(0));
    const auto* port = valueAs<Integer>(node->get(1));
    if (!host || !port || port->i() < 1 || port->i() > 65535) {
      continue;
    }
    std::string hostname = strippedText(host->s());
    if (!hostname.empty()) {
      attrs.nodes.emplace_back(std::move(hostname), static_cast<uint16_t>(port->i()));
    }
  }
}

void readDescription(TorrentAttribute& attrs, const Dict& root) {
  if (const auto* date = valueAs<Integer>(root.get(C_CREATION_DATE))) {
    attrs.creationDate = date->i();
  }
  const auto* comment = valueAs<String>(root.get(C_COMMENT_UTF8));
  if (!comment) {
    comment = valueAs<String>(root.get(C_COMMENT));
  }
  if (comment) {
    attrs.comment = util::encodeNonUtf8(comment->s());
  }
  if (const auto* createdBy = valueAs<String>(root.get(C_CREATED_BY))) {
    attrs.createdBy = util::encodeNonUtf8(createdBy->s());
  }
}

void processRootDictionary(const std::shared_ptr<DownloadContext>& ctx, const ValueBase* rootValue,
                           const std::shared_ptr<Option>& option, const std::string& defaultName,
                           const std::string& overrideName, const std::vector<std::string>& uris) {
  const auto* root = valueAs<Dict>(rootValue);
  if (!root) {
    throw malformed("torrent file does not contain a root dictionary.");
  }
  const auto* info = valueAs<Dict>(root->get(C_INFO));
  if (!info) {
    throw missing(C_INFO);
  }
  auto attrs = std::make_shared<TorrentAttribute>();
  attrs->metadata = bencode2::encode(info);
  attrs->metadataSize = attrs->metadata.size();
  attrs->infoHash =
      MessageDigest::sha1()->update(attrs->metadata.data(), attrs->metadata.size()).digest();
  const auto* pieces = valueAs<String>(info->get(C_PIECES));
  if (!pieces) {
    throw missing(C_PIECES);
  }
  const int32_t pieceLength = readPieceLength(*info);
  ctx->setPieceLength(pieceLength);
  readPieceHashes(*ctx, *pieces);
  const auto* priv = valueAs<Integer>(info->get(C_PRIVATE));
  attrs->privateTorrent = priv && priv->i() == 1;

  attrs->urlList = extractUrlList(root->get(C_URL_LIST));
  std::vector<std::string> webSeeds = attrs->urlList;
  webSeeds.insert(webSeeds.end(), uris.begin(), uris.end());
  std::sort(webSeeds.begin(), webSeeds.end());
  webSeeds.erase(std::unique(webSeeds.begin(), webSeeds.end()), webSeeds.end());

  attrs->name = readName(*info, defaultName, overrideName);
  const int32_t maxConn = option->getAsInt(PREF_MAX_CONNECTION_PER_SERVER);
  const auto* files = valueAs<List>(info->get(C_FILES));
  FileLayout layout = files ? readMultiFile(*files, *option, attrs->name, webSeeds, maxConn)
                            : readSingleFile(*info, *option, attrs->name, webSeeds, maxConn);
  attrs->mode = layout.mode;
  ctx->setFileEntries(layout.entries.begin(), layout.entries.end());
  if (attrs->mode == BT_FILE_MODE_MULTI) {
    ctx->setBasePath(util::applyDir(option->get(PREF_DIR), util::escapePath(attrs->name)));
  }
  const auto total = static_cast<uint64_t>(ctx->getTotalLength());
  const uint64_t expectedPieces = (total + pieceLength - 1) / static_cast<uint64_t>(pieceLength);
  if (expectedPieces != ctx->getPieceHashes().size()) {
    throw malformed("Too few/many piece hash.");
  }
  readAnnounceList(*attrs, *root);
  readNodes(*attrs, *root);
  readDescription(*attrs, *root);
  ctx->setAttribute(CTX_ATTR_BT, attrs);
}

}  // namespace

void load(const std::string& torrentFile, const std::shared_ptr<DownloadContext>& ctx,
          const std::shared_ptr<Option>& option, const std::string& overrideName) {
  load(torrentFile, ctx, option, {}, overrideName);
}

void load(const std::string& torrentFile, const std::shared_ptr<DownloadContext>& ctx,
          const std::shared_ptr<Option>& option, const std::vector<std::string>& uris,
          const std::string& overrideName) {
  GenericParser<BencodeParser, ValueBaseStructParserStateMachine> parser;
  auto root = parseFile(parser, torrentFile);
  processRootDictionary(ctx, root.get(), option, torrentFile, overrideName, uris);
}

void loadFromMemory(std::string_view data, const std::shared_ptr<DownloadContext>& ctx,
                    const std::shared_ptr<Option>& option, const std::string& defaultName,
                    const std::string& overrideName) {
  loadFromMemory(data, ctx, option, {}, defaultName, overrideName);
}

void loadFromMemory(std::string_view data, const std::shared_ptr<DownloadContext>& ctx,
                    const std::shared_ptr<Option>& option, const std::vector<std::string>& uris,
                    const std::string& defaultName, const std::string& overrideName) {
  auto root = bencode2::decode(reinterpret_cast<const unsigned char*>(data.data()), data.size());
  processRootDictionary(ctx, root.get(), option, defaultName, overrideName, uris);
}

void loadFromMemory(const ValueBase* root, const std::shared_ptr<DownloadContext>& ctx,
                    const std::shared_ptr<Option>& option, const std::vector<std::string>& uris,
                    const std::string& defaultName, const std::string& overrideName) {
  processRootDictionary(ctx, root, option, defaultName, overrideName, uris);
}

TorrentAttribute* getTorrentAttrs(const DownloadContext* ctx) {
  return static_cast<TorrentAttribute*>(ctx->getAttribute(CTX_ATTR_BT).get());
}

TorrentAttribute* getTorrentAttrs(const std::shared_ptr<DownloadContext>& ctx) {
  return getTorrentAttrs(ctx.get());
}

const unsigned char* getInfoHash(const DownloadContext* ctx) {
  return reinterpret_cast<const unsigned char*>(getTorrentAttrs(ctx)->infoHash.data());
}

const unsigned char* getInfoHash(const std::shared_ptr<DownloadContext>& ctx) {
  return getInfoHash(ctx.get());
}

std::string getInfoHashString(const DownloadContext* ctx) {
  return util::toHex(getTorrentAttrs(ctx)->infoHash);
}

std::string getInfoHashString(const std::shared_ptr<DownloadContext>& ctx) {
  return getInfoHashString(ctx.get());
}

}  // namespace bittorrent
}  // namespace quarn
