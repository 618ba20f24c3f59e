#include "storage/DefaultBtProgressInfoFile.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/BufferedFile.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/File.h"
#include "foundation/Logger.h"
#include "foundation/SHA1IOFile.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"
#include "storage/BitfieldMan.h"
#include "storage/ControlFileTorrent.h"
#include "storage/DownloadContext.h"
#include "storage/Piece.h"
#include "storage/PieceStorage.h"
#include "storage/util_bitfield.h"

namespace quarn {

namespace {

constexpr size_t INFO_HASH_LENGTH = 20;

uint64_t hton64(uint64_t x) {
  uint32_t high = htonl(static_cast<uint32_t>(x >> 32));
  uint32_t low = htonl(static_cast<uint32_t>(x));
  uint64_t out;
  std::memcpy(&out, &high, 4);
  std::memcpy(reinterpret_cast<char*>(&out) + 4, &low, 4);
  return out;
}

uint64_t ntoh64(uint64_t x) {
  return hton64(x);
}

// Clears the bits past the last of nbits in the final byte, so that a record
// with stray spare bits cannot claim blocks that do not exist.
void clearSpareBits(std::string& bitfield, size_t nbits) {
  if (nbits % 8 != 0 && !bitfield.empty()) {
    bitfield.back() = static_cast<char>(static_cast<uint8_t>(bitfield.back()) &
                                        static_cast<uint8_t>(0xff00 >> (nbits % 8)));
  }
}

size_t pieceRealLength(const DownloadContext& ctx, size_t index) {
  int64_t offset = static_cast<int64_t>(index) * ctx.getPieceLength();
  return static_cast<size_t>(
      std::min<int64_t>(ctx.getPieceLength(), ctx.getTotalLength() - offset));
}

// Field-by-field reading of a control file in the byte order of its version.
class ControlFileReader {
 public:
  explicit ControlFileReader(const std::string& filename)
      : filename_(filename), file_(filename.c_str(), IOFile::READ), hostOrder_(false) {
    if (!file_) {
      fail();
    }
  }

  void setHostOrder(bool hostOrder) { hostOrder_ = hostOrder; }

  // Reads exactly n bytes. The buffer grows only with what the file really
  // holds, so a corrupted length field cannot make it huge.
  std::string readBytes(size_t n) {
    std::string out;
    char buf[4096];
    while (out.size() < n) {
      size_t want = std::min(sizeof(buf), n - out.size());
      if (file_.read(buf, want) != want) {
        fail();
      }
      out.append(buf, want);
    }
    return out;
  }

  uint32_t readUInt32() {
    uint32_t x;
    std::memcpy(&x, readBytes(sizeof(x)).data(), sizeof(x));
    return hostOrder_ ? x : ntohl(x);
  }

  uint64_t readUInt64() {
    uint64_t x;
    std::memcpy(&x, readBytes(sizeof(x)).data(), sizeof(x));
    return hostOrder_ ? x : ntoh64(x);
  }

 private:
  [[noreturn]] void fail() {
    throw DL_ABORT_EX(fmt("Failed to read from the segment file %s", filename_.c_str()));
  }

  const std::string& filename_;
  BufferedFile file_;
  bool hostOrder_;
};

// What a control file says, checked against the download before any of it is
// applied.
struct Progress {
  std::string bitfield;
  std::vector<std::shared_ptr<Piece>> inFlightPieces;
};

class ControlFileWriter {
 public:
  ControlFileWriter(IOFile& file, const std::string& filename) : file_(file), filename_(filename) {}

  void write(const void* data, size_t len) {
    if (file_.write(data, len) != len) {
      fail();
    }
  }
  void writeUInt32(uint32_t x) {
    x = htonl(x);
    write(&x, sizeof(x));
  }
  void writeUInt64(uint64_t x) {
    x = hton64(x);
    write(&x, sizeof(x));
  }
  void close() {
    bool flushed = file_.flush() == 0 && static_cast<bool>(file_);
    if (file_.close() == -1 || !flushed) {
      fail();
    }
  }
  [[noreturn]] void fail() {
    throw DL_ABORT_EX(fmt("Failed to write into the segment file %s", filename_.c_str()));
  }

 private:
  IOFile& file_;
  const std::string& filename_;
};

// In-flight pieces of a record whose piece length is the download's. Pieces
// already complete in the bitfield are skipped: their data is final.
void readInFlightPieces(ControlFileReader& in, const DownloadContext& ctx, Progress& progress) {
  BitfieldMan have(ctx.getPieceLength(), ctx.getTotalLength());
  have.setBitfield(reinterpret_cast<const uint8_t*>(progress.bitfield.data()),
                   progress.bitfield.size());
  uint32_t count = in.readUInt32();
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t index = in.readUInt32();
    if (index >= ctx.getNumPieces()) {
      throw DL_ABORT_EX(fmt("piece index out of range: %u", index));
    }
    uint32_t length = in.readUInt32();
    // Any other length would count bytes that were never written as present,
    // or let writes run past the piece.
    if (length != pieceRealLength(ctx, index)) {
      throw DL_ABORT_EX(fmt("piece length out of range: %u", length));
    }
    auto piece = std::make_shared<Piece>(index, length);
    uint32_t pieceBitfieldLength = in.readUInt32();
    if (pieceBitfieldLength != piece->getBitfieldLength()) {
      throw DL_ABORT_EX(fmt("piece bitfield length mismatch. expected: %lu actual: %u",
                            static_cast<unsigned long>(piece->getBitfieldLength()),
                            pieceBitfieldLength));
    }
    std::string pieceBitfield = in.readBytes(pieceBitfieldLength);
    if (have.isBitSet(index)) {
      continue;
    }
    clearSpareBits(pieceBitfield, piece->countBlock());
    piece->setBitfield(reinterpret_cast<const uint8_t*>(pieceBitfield.data()),
                       pieceBitfield.size());
    piece->setHashType(ctx.getPieceHashType());
    progress.inFlightPieces.push_back(std::move(piece));
  }
}

// A record made with another piece length: its in-flight pieces are dropped,
// and a new piece counts as present only when its whole range was complete.
void convertProgress(ControlFileReader& in, const DownloadContext& ctx, const Option* option,
                     Progress& progress, uint32_t pieceLength) {
  uint32_t count = in.readUInt32();
  BitfieldMan src(static_cast<int32_t>(pieceLength), ctx.getTotalLength());
  src.setBitfield(reinterpret_cast<const uint8_t*>(progress.bitfield.data()),
                  progress.bitfield.size());
  if ((src.getCompletedLength() > 0 || count > 0) &&
      !(option && option->getAsBool(PREF_ALLOW_PIECE_LENGTH_CHANGE))) {
    throw DOWNLOAD_FAILURE_EXCEPTION(
        "WARNING: Detected a change in piece length. You can proceed with "
        "--allow-piece-length-change=true, but you may lose some download progress.",
        error_code::PIECE_LENGTH_CHANGED);
  }
  BitfieldMan dest(ctx.getPieceLength(), ctx.getTotalLength());
  util::convertBitfield(&dest, &src);
  progress.bitfield.assign(reinterpret_cast<const char*>(dest.getBitfield()),
                           dest.getBitfieldLength());
}

}  // namespace

DefaultBtProgressInfoFile::DefaultBtProgressInfoFile(
    std::shared_ptr<DownloadContext> downloadContext, std::shared_ptr<PieceStorage> pieceStorage,
    const Option* option)
    : downloadContext_(std::move(downloadContext)),
      pieceStorage_(std::move(pieceStorage)),
      option_(option),
      filename_(createFilename()),
      loadFailed_(false) {}

DefaultBtProgressInfoFile::~DefaultBtProgressInfoFile() = default;

const std::string& DefaultBtProgressInfoFile::getSuffix() {
  static const std::string suffix = ".quarn";
  return suffix;
}

std::string DefaultBtProgressInfoFile::createFilename() const {
  return downloadContext_->getBasePath() + getSuffix();
}

void DefaultBtProgressInfoFile::updateFilename() {
  filename_ = createFilename();
  loadFailed_ = false;
}

bool DefaultBtProgressInfoFile::exists() {
  if (File(filename_).isFile()) {
    QLOG_INFO(fmt(_("The segment file %s exists."), filename_.c_str()));
    return true;
  }
  QLOG_INFO(fmt(_("The segment file %s does not exist."), filename_.c_str()));
  return false;
}

void DefaultBtProgressInfoFile::removeFile() {
  if (exists()) {
    // exists() has just found a regular file: unlink it without asking again.
    unlink(filename_.c_str());
  }
  loadFailed_ = false;
}

void DefaultBtProgressInfoFile::save(IOFile& file) {
  ControlFileWriter out(file, filename_);
  static const unsigned char version[] = {0x00, 0x01};
  out.write(version, sizeof(version));
  if (torrent_) {
    const std::string infoHash = torrent_->getInfoHash();
    out.writeUInt32(1);  // extension: the info hash is to be checked
    out.writeUInt32(static_cast<uint32_t>(infoHash.size()));
    out.write(infoHash.data(), infoHash.size());
  } else {
    out.writeUInt32(0);
    out.writeUInt32(0);
  }
  out.writeUInt32(static_cast<uint32_t>(downloadContext_->getPieceLength()));
  out.writeUInt64(static_cast<uint64_t>(downloadContext_->getTotalLength()));
  const int64_t uploaded = torrent_ ? torrent_->getUploadLengthAtStartup() +
                                          downloadContext_->getNetStat().getSessionUploadLength()
                                    : 0;
  out.writeUInt64(static_cast<uint64_t>(uploaded));
  size_t bitfieldLength = pieceStorage_->getBitfieldLength();
  out.writeUInt32(static_cast<uint32_t>(bitfieldLength));
  out.write(pieceStorage_->getBitfield(), bitfieldLength);
  out.writeUInt32(static_cast<uint32_t>(pieceStorage_->countInFlightPiece()));
  std::vector<std::shared_ptr<Piece>> pieces;
  pieceStorage_->getInFlightPieces(pieces);
  for (const auto& piece : pieces) {
    out.writeUInt32(static_cast<uint32_t>(piece->getIndex()));
    out.writeUInt32(static_cast<uint32_t>(piece->getLength()));
    out.writeUInt32(static_cast<uint32_t>(piece->getBitfieldLength()));
    out.write(piece->getBitfield(), piece->getBitfieldLength());
  }
  out.close();
}

void DefaultBtProgressInfoFile::save() {
  if (loadFailed_) {
    QLOG_DEBUG(
        fmt("The segment file %s could not be loaded; it is kept as it is.", filename_.c_str()));
    return;
  }
  SHA1IOFile sha1;
  save(sha1);
  std::string digest = sha1.digest();
  if (digest == lastDigest_) {
    return;
  }
  QLOG_INFO(fmt(_("Saving the segment file %s"), filename_.c_str()));
  std::string tempFilename = filename_ + "__temp";
  {
    BufferedFile file(tempFilename.c_str(), IOFile::WRITE);
    if (!file) {
      throw DL_ABORT_EX(fmt("Failed to write into the segment file %s", filename_.c_str()));
    }
    try {
      save(file);
    } catch (const RecoverableException&) {
      unlink(tempFilename.c_str());
      throw;
    }
  }
  if (!File(tempFilename).renameTo(filename_)) {
    unlink(tempFilename.c_str());
    throw DL_ABORT_EX(fmt("Failed to write into the segment file %s", filename_.c_str()));
  }
  // Only now is the content on disk: a save that failed is tried again.
  lastDigest_ = std::move(digest);
  QLOG_INFO(_("The segment file was saved successfully."));
}

void DefaultBtProgressInfoFile::load() {
  QLOG_INFO(fmt(_("Loading the segment file %s."), filename_.c_str()));
  try {
    ControlFileReader in(filename_);
    std::string version = util::toHex(in.readBytes(2));
    if (version == "0000") {
      in.setHostOrder(true);
    } else if (version != "0001") {
      throw DL_ABORT_EX(fmt("Unsupported ctrl file version: %s", version.c_str()));
    }
    // The extension marks an info hash to check; only a torrent download has
    // one to compare with, anything else skips it.
    const bool checkInfoHash = (in.readBytes(4)[3] & 1) && torrent_;
    if (checkInfoHash) {
      QLOG_DEBUG("InfoHash checking enabled.");
    }
    uint32_t infoHashLength = in.readUInt32();
    if (infoHashLength > INFO_HASH_LENGTH ||
        (checkInfoHash && infoHashLength != INFO_HASH_LENGTH)) {
      throw DL_ABORT_EX(fmt("Invalid info hash length: %d", static_cast<int>(infoHashLength)));
    }
    if (infoHashLength > 0) {
      std::string infoHash = in.readBytes(infoHashLength);
      if (checkInfoHash && infoHash != torrent_->getInfoHash()) {
        throw DL_ABORT_EX(fmt("info hash mismatch. expected: %s, actual: %s",
                              util::toHex(torrent_->getInfoHash()).c_str(),
                              util::toHex(infoHash).c_str()));
      }
    }
    uint32_t pieceLength = in.readUInt32();
    if (pieceLength == 0) {
      throw DL_ABORT_EX("piece length must not be 0");
    }
    if (pieceLength > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
      throw DL_ABORT_EX(fmt("piece length out of range: %u", pieceLength));
    }
    uint64_t totalLength = in.readUInt64();
    if (totalLength != static_cast<uint64_t>(downloadContext_->getTotalLength())) {
      throw DL_ABORT_EX(fmt("total length mismatch. expected: %lld, actual: %lld",
                            static_cast<long long>(downloadContext_->getTotalLength()),
                            static_cast<long long>(totalLength)));
    }
    const uint64_t uploadLength = in.readUInt64();
    uint32_t bitfieldLength = in.readUInt32();
    uint64_t numPieces = (totalLength + pieceLength - 1) / pieceLength;
    uint64_t expectedBitfieldLength = (numPieces + 7) / 8;
    if (bitfieldLength != expectedBitfieldLength) {
      throw DL_ABORT_EX(fmt("bitfield length mismatch. expected: %d, actual: %d",
                            static_cast<int>(expectedBitfieldLength),
                            static_cast<int>(bitfieldLength)));
    }
    Progress progress;
    progress.bitfield = in.readBytes(bitfieldLength);
    clearSpareBits(progress.bitfield, numPieces);
    if (pieceLength == static_cast<uint32_t>(downloadContext_->getPieceLength())) {
      readInFlightPieces(in, *downloadContext_, progress);
    } else {
      convertProgress(in, *downloadContext_, option_, progress, pieceLength);
    }
    pieceStorage_->setBitfield(reinterpret_cast<const uint8_t*>(progress.bitfield.data()),
                               progress.bitfield.size());
    if (!progress.inFlightPieces.empty()) {
      pieceStorage_->addInFlightPiece(progress.inFlightPieces);
    }
    // Only a torrent keeps its upload count; a value beyond the signed range
    // is not a count this program wrote.
    if (torrent_ && uploadLength <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      torrent_->setUploadLengthAtStartup(static_cast<int64_t>(uploadLength));
    }
  } catch (const RecoverableException&) {
    loadFailed_ = true;
    throw;
  }
  loadFailed_ = false;
  QLOG_INFO(_("The segment file was loaded successfully."));
}

}  // namespace quarn
