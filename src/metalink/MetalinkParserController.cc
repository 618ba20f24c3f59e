#include "metalink/MetalinkParserController.h"

#include <algorithm>

#include "foundation/MessageDigest.h"
#include "foundation/uri.h"
#include "foundation/uri_split.h"
#include "foundation/util_path.h"
#include "foundation/util_string.h"
#include "metalink/MetalinkEntry.h"
#include "metalink/MetalinkMetaurl.h"
#include "metalink/MetalinkResource.h"
#include "metalink/Metalinker.h"
#include "storage/Checksum.h"
#include "storage/ChunkChecksum.h"
#include "storage/FileEntry.h"
#include "storage/Signature.h"

namespace quarn {

namespace {

const char MEDIATYPE_TORRENT[] = "torrent";

// A magnet link is kept as written: resolving it against an http base would
// turn it into a path on that server.
bool isMagnetLink(const std::string& url) {
  return util::startsWith(url, "magnet:?");
}

// False when the set is not open or the type unsupported.
bool setPieceHashType(ChunkChecksum* set, const std::string& type) {
  if (!set) {
    return false;
  }
  std::string canonical = MessageDigest::getCanonicalHashType(type);
  if (!MessageDigest::supports(canonical)) {
    return false;
  }
  set->setHashType(std::move(canonical));
  return true;
}

// False when the set is not open or the length 0.
bool setPieceLength(ChunkChecksum* set, size_t length) {
  if (!set || length == 0) {
    return false;
  }
  set->setPieceLength(static_cast<int32_t>(length));
  return true;
}

}  // namespace

MetalinkParserController::MetalinkParserController()
    : metalinker_(std::make_unique<Metalinker>()) {}

MetalinkParserController::~MetalinkParserController() = default;

void MetalinkParserController::reset() {
  metalinker_ = std::make_unique<Metalinker>();
}

std::unique_ptr<Metalinker> MetalinkParserController::getResult() {
  return std::move(metalinker_);
}

std::string MetalinkParserController::resolve(const std::string& url) const {
  std::string u = uri::joinUri(baseUri_, url);
  if (uri_split(nullptr, u.c_str()) == 0) {
    return u;
  }
  return url;
}

std::string MetalinkParserController::supportedHashType(const std::string& type) {
  std::string canonical = MessageDigest::getCanonicalHashType(type);
  return MessageDigest::supports(canonical) ? canonical : std::string();
}

// Entries

void MetalinkParserController::newEntryTransaction() {
  tEntry_ = std::make_unique<MetalinkEntry>();
  tResource_.reset();
  tMetaurl_.reset();
  tChecksum_.reset();
  tChunkChecksumV4_.reset();
  tChunkChecksum_.reset();
}

void MetalinkParserController::setFileNameOfEntry(std::string filename) {
  if (!tEntry_) {
    return;
  }
  std::string path = util::escapePath(filename);
  if (tEntry_->file) {
    tEntry_->file->setPath(std::move(path));
  } else {
    tEntry_->file = std::make_unique<FileEntry>(std::move(path), 0, 0);
  }
}

void MetalinkParserController::setFileLengthOfEntry(int64_t length) {
  if (!tEntry_ || !tEntry_->file) {
    return;
  }
  tEntry_->file->setLength(length);
  tEntry_->sizeKnown = true;
}

void MetalinkParserController::setVersionOfEntry(std::string version) {
  if (tEntry_) {
    tEntry_->version = std::move(version);
  }
}

void MetalinkParserController::setLanguageOfEntry(std::string language) {
  if (tEntry_) {
    tEntry_->languages.push_back(std::move(language));
  }
}

void MetalinkParserController::setOSOfEntry(std::string os) {
  if (tEntry_) {
    tEntry_->oses.push_back(std::move(os));
  }
}

void MetalinkParserController::setMaxConnectionsOfEntry(int32_t maxConnections) {
  if (tEntry_) {
    tEntry_->maxConnections = maxConnections;
  }
}

void MetalinkParserController::commitEntryTransaction() {
  if (!tEntry_) {
    return;
  }
  commitResourceTransaction();
  commitMetaurlTransaction();
  commitChecksumTransaction();
  commitChunkChecksumTransactionV4();
  commitChunkChecksumTransaction();
  commitSignatureTransaction();
  metalinker_->addEntry(std::move(tEntry_));
}

void MetalinkParserController::cancelEntryTransaction() {
  cancelResourceTransaction();
  cancelMetaurlTransaction();
  cancelChecksumTransaction();
  cancelChunkChecksumTransactionV4();
  cancelChunkChecksumTransaction();
  cancelSignatureTransaction();
  tEntry_.reset();
}

// Resources

void MetalinkParserController::newResourceTransaction() {
  if (tEntry_) {
    tResource_ = std::make_unique<MetalinkResource>();
  }
}

void MetalinkParserController::setURLOfResource(std::string url) {
  if (!tResource_) {
    return;
  }
  std::string u = uri::joinUri(baseUri_, url);
  uri_split_result us;
  if (uri_split(&us, u.c_str()) != 0) {
    tResource_->url = std::move(url);
    return;
  }
  if (tResource_->type == MetalinkResource::TYPE_UNKNOWN) {
    setTypeOfResource(uri::getFieldString(us, USR_SCHEME, u.c_str()));
  }
  tResource_->url = std::move(u);
}

void MetalinkParserController::setTypeOfResource(std::string type) {
  if (!tResource_) {
    return;
  }
  if (type == "ftp" || type == "sftp") {
    tResource_->type = MetalinkResource::TYPE_FTP;
  } else if (type == "http") {
    tResource_->type = MetalinkResource::TYPE_HTTP;
  } else if (type == "https") {
    tResource_->type = MetalinkResource::TYPE_HTTPS;
  } else if (type == "bittorrent" || type == "torrent") {
    tResource_->type = MetalinkResource::TYPE_BITTORRENT;
  } else {
    tResource_->type = MetalinkResource::TYPE_NOT_SUPPORTED;
  }
}

void MetalinkParserController::setLocationOfResource(std::string location) {
  if (tResource_) {
    tResource_->location = std::move(location);
  }
}

void MetalinkParserController::setPriorityOfResource(int32_t priority) {
  if (tResource_) {
    tResource_->priority = priority;
  }
}

void MetalinkParserController::setMaxConnectionsOfResource(int32_t maxConnections) {
  if (tResource_) {
    tResource_->maxConnections = maxConnections;
  }
}

void MetalinkParserController::commitResourceTransaction() {
  if (!tResource_) {
    return;
  }
  // The older format lists torrents among the mirrors; they are metadata.
  if (tResource_->type == MetalinkResource::TYPE_BITTORRENT) {
    tEntry_->metaurls.push_back(std::make_unique<MetalinkMetaurl>(
        std::move(tResource_->url), MEDIATYPE_TORRENT, "", tResource_->priority));
    tResource_.reset();
    return;
  }
  tEntry_->resources.push_back(std::move(tResource_));
}

void MetalinkParserController::cancelResourceTransaction() {
  tResource_.reset();
}

// Metaurls

void MetalinkParserController::newMetaurlTransaction() {
  if (tEntry_) {
    tMetaurl_ = std::make_unique<MetalinkMetaurl>();
  }
}

void MetalinkParserController::setURLOfMetaurl(std::string url) {
  if (!tMetaurl_) {
    return;
  }
  tMetaurl_->url = isMagnetLink(url) ? std::move(url) : resolve(url);
}

void MetalinkParserController::setMediatypeOfMetaurl(std::string mediatype) {
  if (tMetaurl_) {
    tMetaurl_->mediatype = std::move(mediatype);
  }
}

void MetalinkParserController::setPriorityOfMetaurl(int32_t priority) {
  if (tMetaurl_) {
    tMetaurl_->priority = priority;
  }
}

void MetalinkParserController::setNameOfMetaurl(std::string name) {
  if (tMetaurl_) {
    tMetaurl_->name = std::move(name);
  }
}

void MetalinkParserController::commitMetaurlTransaction() {
  if (!tMetaurl_) {
    return;
  }
  if (tMetaurl_->mediatype == MEDIATYPE_TORRENT) {
    tEntry_->metaurls.push_back(std::move(tMetaurl_));
  }
  tMetaurl_.reset();
}

void MetalinkParserController::cancelMetaurlTransaction() {
  tMetaurl_.reset();
}

// Whole-file checksum

void MetalinkParserController::newChecksumTransaction() {
  if (tEntry_) {
    tChecksum_ = std::make_unique<Checksum>();
  }
}

void MetalinkParserController::setTypeOfChecksum(std::string type) {
  if (!tChecksum_) {
    return;
  }
  std::string canonical = supportedHashType(type);
  if (canonical.empty()) {
    tChecksum_.reset();
  } else {
    tChecksum_->setHashType(std::move(canonical));
  }
}

void MetalinkParserController::setHashOfChecksum(std::string md) {
  if (!tChecksum_) {
    return;
  }
  if (MessageDigest::isValidHash(tChecksum_->getHashType(), md)) {
    tChecksum_->setDigest(util::fromHex(md.begin(), md.end()));
  } else {
    tChecksum_.reset();
  }
}

void MetalinkParserController::commitChecksumTransaction() {
  if (!tChecksum_) {
    return;
  }
  if (!tEntry_->checksum ||
      MessageDigest::isStronger(tChecksum_->getHashType(), tEntry_->checksum->getHashType())) {
    tEntry_->checksum = std::move(tChecksum_);
  }
  tChecksum_.reset();
}

void MetalinkParserController::cancelChecksumTransaction() {
  tChecksum_.reset();
}

// Piece hashes, listed in order

void MetalinkParserController::newChunkChecksumTransactionV4() {
  if (tEntry_) {
    tChunkChecksumV4_ = std::make_unique<ChunkChecksum>();
    tempChunkChecksumsV4_.clear();
  }
}

void MetalinkParserController::setTypeOfChunkChecksumV4(std::string type) {
  if (!setPieceHashType(tChunkChecksumV4_.get(), type)) {
    cancelChunkChecksumTransactionV4();
  }
}

void MetalinkParserController::setLengthOfChunkChecksumV4(size_t length) {
  if (!setPieceLength(tChunkChecksumV4_.get(), length)) {
    cancelChunkChecksumTransactionV4();
  }
}

void MetalinkParserController::addHashOfChunkChecksumV4(std::string md) {
  if (!tChunkChecksumV4_) {
    return;
  }
  if (MessageDigest::isValidHash(tChunkChecksumV4_->getHashType(), md)) {
    tempChunkChecksumsV4_.push_back(util::fromHex(md.begin(), md.end()));
  } else {
    cancelChunkChecksumTransactionV4();
  }
}

void MetalinkParserController::commitChunkChecksumTransactionV4() {
  if (!tChunkChecksumV4_) {
    return;
  }
  if (!tEntry_->chunkChecksum || MessageDigest::isStronger(tChunkChecksumV4_->getHashType(),
                                                           tEntry_->chunkChecksum->getHashType())) {
    tChunkChecksumV4_->setPieceHashes(std::move(tempChunkChecksumsV4_));
    tEntry_->chunkChecksum = std::move(tChunkChecksumV4_);
  }
  cancelChunkChecksumTransactionV4();
}

void MetalinkParserController::cancelChunkChecksumTransactionV4() {
  tChunkChecksumV4_.reset();
  tempChunkChecksumsV4_.clear();
}

// Piece hashes with their indexes

void MetalinkParserController::newChunkChecksumTransaction() {
  if (tEntry_) {
    tChunkChecksum_ = std::make_unique<ChunkChecksum>();
    tempChunkChecksums_.clear();
  }
}

void MetalinkParserController::setTypeOfChunkChecksum(std::string type) {
  if (!setPieceHashType(tChunkChecksum_.get(), type)) {
    cancelChunkChecksumTransaction();
  }
}

void MetalinkParserController::setLengthOfChunkChecksum(size_t length) {
  if (!setPieceLength(tChunkChecksum_.get(), length)) {
    cancelChunkChecksumTransaction();
  }
}

void MetalinkParserController::createNewHashOfChunkChecksum(size_t order) {
  if (tChunkChecksum_) {
    tempHashPair_.first = order;
  }
}

void MetalinkParserController::setMessageDigestOfChunkChecksum(std::string md) {
  if (!tChunkChecksum_) {
    return;
  }
  if (MessageDigest::isValidHash(tChunkChecksum_->getHashType(), md)) {
    tempHashPair_.second = util::fromHex(md.begin(), md.end());
  } else {
    cancelChunkChecksumTransaction();
  }
}

void MetalinkParserController::addHashOfChunkChecksum() {
  if (tChunkChecksum_) {
    tempChunkChecksums_.push_back(tempHashPair_);
  }
}

void MetalinkParserController::commitChunkChecksumTransaction() {
  if (!tChunkChecksum_) {
    return;
  }
  if (!tEntry_->chunkChecksum || MessageDigest::isStronger(tChunkChecksum_->getHashType(),
                                                           tEntry_->chunkChecksum->getHashType())) {
    std::sort(tempChunkChecksums_.begin(), tempChunkChecksums_.end());
    std::vector<std::string> pieceHashes;
    pieceHashes.reserve(tempChunkChecksums_.size());
    for (auto& pair : tempChunkChecksums_) {
      pieceHashes.push_back(std::move(pair.second));
    }
    tChunkChecksum_->setPieceHashes(std::move(pieceHashes));
    tEntry_->chunkChecksum = std::move(tChunkChecksum_);
  }
  cancelChunkChecksumTransaction();
}

void MetalinkParserController::cancelChunkChecksumTransaction() {
  tChunkChecksum_.reset();
  tempChunkChecksums_.clear();
}

// Signature

void MetalinkParserController::newSignatureTransaction() {
  if (tEntry_) {
    tSignature_ = std::make_unique<Signature>();
  }
}

void MetalinkParserController::setTypeOfSignature(std::string type) {
  if (tSignature_) {
    tSignature_->setType(std::move(type));
  }
}

void MetalinkParserController::setFileOfSignature(std::string file) {
  if (tSignature_) {
    tSignature_->setFile(std::move(file));
  }
}

void MetalinkParserController::setBodyOfSignature(std::string body) {
  if (tSignature_) {
    tSignature_->setBody(std::move(body));
  }
}

void MetalinkParserController::commitSignatureTransaction() {
  if (tSignature_ && tEntry_) {
    tEntry_->setSignature(std::move(tSignature_));
  }
  tSignature_.reset();
}

void MetalinkParserController::cancelSignatureTransaction() {
  tSignature_.reset();
}

}  // namespace quarn
