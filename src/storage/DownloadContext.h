#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/SegList.h"
#include "foundation/Timer.h"
#include "storage/FileEntry.h"
#include "storage/NetStat.h"
#include "storage/Signature.h"

namespace quarn {

class RequestGroup;

class ContextAttribute {
 public:
  virtual ~ContextAttribute() = default;
};

enum ContextAttributeType { CTX_ATTR_BT = 0, MAX_CTX_ATTR };

// "BitTorrent" for the BitTorrent attribute, "UNKNOWN" for anything else.
const char* strContextAttributeType(ContextAttributeType type);

// What one download fetches: its files laid end to end, the piece geometry and
// the hashes that verify it.
class DownloadContext {
 public:
  DownloadContext();
  DownloadContext(int32_t pieceLength, int64_t totalLength, std::string path = "");

  const std::vector<std::shared_ptr<FileEntry>>& getFileEntries() const { return fileEntries_; }
  template <typename InputIt>
  void setFileEntries(InputIt first, InputIt last) {
    fileEntries_.assign(first, last);
  }
  const std::shared_ptr<FileEntry>& getFirstFileEntry() const { return fileEntries_[0]; }
  std::shared_ptr<FileEntry> findFileEntryByOffset(int64_t offset) const;
  void setFilePathWithIndex(size_t index, const std::string& path);
  // Marks as requested exactly the files of the given 1-based indexes; every
  // file when the list is empty or there is only one file.
  void setFileFilter(SegList<int> indexes);
  std::shared_ptr<FileEntry> getFirstRequestedFileEntry() const;
  size_t countRequestedFileEntry() const;

  int32_t getPieceLength() const { return pieceLength_; }
  void setPieceLength(int32_t length) { pieceLength_ = length; }
  size_t getNumPieces() const;
  int64_t getTotalLength() const;

  const std::vector<std::string>& getPieceHashes() const { return pieceHashes_; }
  template <typename InputIt>
  void setPieceHashes(const std::string& hashType, InputIt first, InputIt last) {
    pieceHashType_ = hashType;
    pieceHashes_.assign(first, last);
  }
  const std::string& getPieceHash(size_t index) const;
  const std::string& getPieceHashType() const { return pieceHashType_; }
  void setPieceHashType(std::string type) { pieceHashType_ = std::move(type); }
  const std::string& getDigest() const { return digest_; }
  const std::string& getHashType() const { return hashType_; }
  void setDigest(std::string hashType, std::string digest);
  // A detached signature to write beside the finished file; may be null.
  const Signature* getSignature() const { return signature_.get(); }
  void setSignature(std::unique_ptr<Signature> signature) { signature_ = std::move(signature); }

  std::string getBasePath() const;
  void setBasePath(std::string path) { basePath_ = std::move(path); }
  bool isChecksumVerified() const { return checksumVerified_; }
  void setChecksumVerified(bool f) { checksumVerified_ = f; }
  bool knowsTotalLength() const { return knowsTotalLength_; }
  void setKnowsTotalLength(bool f) { knowsTotalLength_ = f; }
  bool getAcceptMetalink() const { return acceptMetalink_; }
  void setAcceptMetalink(bool f) { acceptMetalink_ = f; }
  bool isChecksumVerificationNeeded() const;
  bool isChecksumVerificationAvailable() const;
  bool isPieceHashVerificationAvailable() const;

  void setAttribute(ContextAttributeType type, std::shared_ptr<ContextAttribute> value);
  const std::shared_ptr<ContextAttribute>& getAttribute(ContextAttributeType type) const;
  bool hasAttribute(ContextAttributeType type) const;
  const std::vector<std::shared_ptr<ContextAttribute>>& getAttributes() const {
    return attributes_;
  }

  RequestGroup* getOwnerRequestGroup() const { return ownerRequestGroup_; }
  void setOwnerRequestGroup(RequestGroup* owner) { ownerRequestGroup_ = owner; }

  // The download starts (again): the stop time is cleared and the statistics
  // restart.
  void resetDownloadStartTime();
  // The download stops: the stop time is stamped and the statistics freeze.
  void resetDownloadStopTime();
  const Timer& getDownloadStopTime() const { return downloadStopTime_; }
  // From the statistics' start to the stop time; never negative.
  std::chrono::nanoseconds calculateSessionTime() const;

  NetStat& getNetStat() { return netStat_; }
  // The statistics of all downloads, which every transfer of this one also
  // counts into; null while the download belongs to no download set.
  void setSharedNetStat(NetStat* shared) { sharedNetStat_ = shared; }

  // A download kept in memory (a torrent or Metalink file to read, a tracker
  // answer) never goes through the write cache.
  bool inMemoryDownload() const { return inMemoryDownload_; }
  void setInMemoryDownload(bool inMemory) { inMemoryDownload_ = inMemory; }
  // Count the bytes here and, once the owner belongs to a download manager, in
  // the manager's process-wide statistics as well.
  void updateDownload(size_t bytes);
  void updateUploadSpeed(size_t bytes);
  void updateUploadLength(size_t bytes);

  // Hands the URIs of the file entries' connections back for a later restart.
  void releaseRuntimeResource();

 private:
  RequestGroup* ownerRequestGroup_;
  std::vector<std::shared_ptr<ContextAttribute>> attributes_;
  std::vector<std::shared_ptr<FileEntry>> fileEntries_;
  std::vector<std::string> pieceHashes_;
  NetStat netStat_;
  NetStat* sharedNetStat_ = nullptr;
  bool inMemoryDownload_ = false;
  Timer downloadStopTime_;
  std::string pieceHashType_;
  std::string digest_;
  std::string hashType_;
  std::string basePath_;
  std::unique_ptr<Signature> signature_;
  int32_t pieceLength_;
  bool checksumVerified_;
  bool knowsTotalLength_;
  bool acceptMetalink_;
};

}  // namespace quarn
