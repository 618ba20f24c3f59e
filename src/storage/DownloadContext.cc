#include "storage/DownloadContext.h"

#include <algorithm>

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"

namespace quarn {

const char* strContextAttributeType(ContextAttributeType type) {
  return type == CTX_ATTR_BT ? "BitTorrent" : "UNKNOWN";
}

DownloadContext::DownloadContext()
    : ownerRequestGroup_(nullptr),
      attributes_(MAX_CTX_ATTR),
      pieceLength_(0),
      checksumVerified_(false),
      knowsTotalLength_(true),
      acceptMetalink_(true) {}

DownloadContext::DownloadContext(int32_t pieceLength, int64_t totalLength, std::string path)
    : DownloadContext() {
  pieceLength_ = pieceLength;
  fileEntries_.push_back(std::make_shared<FileEntry>(std::move(path), totalLength, 0));
}

std::shared_ptr<FileEntry> DownloadContext::findFileEntryByOffset(int64_t offset) const {
  if (fileEntries_.empty() || (offset > 0 && offset >= fileEntries_.back()->getLastOffset())) {
    return nullptr;
  }
  auto it = std::upper_bound(fileEntries_.begin(), fileEntries_.end(), offset,
                             [](int64_t off, const std::shared_ptr<FileEntry>& entry) {
                               return off < entry->getOffset();
                             });
  if (it == fileEntries_.begin()) {
    return nullptr;
  }
  return *(it - 1);
}

void DownloadContext::setFilePathWithIndex(size_t index, const std::string& path) {
  if (index < 1 || index > fileEntries_.size()) {
    throw DL_ABORT_EX(fmt("No such file with index=%u", static_cast<unsigned>(index)));
  }
  fileEntries_[index - 1]->setPath(path);
}

void DownloadContext::setFileFilter(SegList<int> indexes) {
  if (!indexes.hasNext() || fileEntries_.size() == 1) {
    for (const auto& entry : fileEntries_) {
      entry->setRequested(true);
    }
    return;
  }
  size_t i = 0;
  int idx = indexes.next() - 1;
  bool more = true;
  for (; i < fileEntries_.size() && more; ++i) {
    if (static_cast<int>(i) == idx) {
      fileEntries_[i]->setRequested(true);
      more = indexes.hasNext();
      if (more) {
        idx = indexes.next() - 1;
      }
    } else if (static_cast<int>(i) < idx) {
      fileEntries_[i]->setRequested(false);
    }
  }
  for (; i < fileEntries_.size(); ++i) {
    fileEntries_[i]->setRequested(false);
  }
}

std::shared_ptr<FileEntry> DownloadContext::getFirstRequestedFileEntry() const {
  for (const auto& entry : fileEntries_) {
    if (entry->isRequested()) {
      return entry;
    }
  }
  return nullptr;
}

size_t DownloadContext::countRequestedFileEntry() const {
  return std::count_if(fileEntries_.begin(), fileEntries_.end(),
                       [](const std::shared_ptr<FileEntry>& e) { return e->isRequested(); });
}

size_t DownloadContext::getNumPieces() const {
  if (pieceLength_ == 0) {
    return 0;
  }
  return (getTotalLength() + pieceLength_ - 1) / pieceLength_;
}

int64_t DownloadContext::getTotalLength() const {
  return fileEntries_.empty() ? 0 : fileEntries_.back()->getLastOffset();
}

const std::string& DownloadContext::getPieceHash(size_t index) const {
  static const std::string empty;
  return index < pieceHashes_.size() ? pieceHashes_[index] : empty;
}

void DownloadContext::setDigest(std::string hashType, std::string digest) {
  hashType_ = std::move(hashType);
  digest_ = std::move(digest);
}

std::string DownloadContext::getBasePath() const {
  return basePath_.empty() ? getFirstFileEntry()->getPath() : basePath_;
}

bool DownloadContext::isChecksumVerificationNeeded() const {
  return pieceHashType_.empty() && !digest_.empty() && !hashType_.empty() && !checksumVerified_;
}

bool DownloadContext::isChecksumVerificationAvailable() const {
  return !digest_.empty() && !hashType_.empty();
}

bool DownloadContext::isPieceHashVerificationAvailable() const {
  return !pieceHashType_.empty() && !pieceHashes_.empty() && pieceHashes_.size() == getNumPieces();
}

void DownloadContext::setAttribute(ContextAttributeType type,
                                   std::shared_ptr<ContextAttribute> value) {
  attributes_[type] = std::move(value);
}

const std::shared_ptr<ContextAttribute>& DownloadContext::getAttribute(
    ContextAttributeType type) const {
  if (!attributes_[type]) {
    throw DL_ABORT_EX(fmt("No attribute named %s", strContextAttributeType(type)));
  }
  return attributes_[type];
}

bool DownloadContext::hasAttribute(ContextAttributeType type) const {
  return static_cast<bool>(attributes_[type]);
}

void DownloadContext::resetDownloadStartTime() {
  downloadStopTime_ = Timer::zero();
  netStat_.downloadStart();
}

void DownloadContext::resetDownloadStopTime() {
  downloadStopTime_ = global::wallclock();
  netStat_.downloadStop();
}

std::chrono::nanoseconds DownloadContext::calculateSessionTime() const {
  return netStat_.getDownloadStartTime().difference(downloadStopTime_);
}

void DownloadContext::updateDownload(size_t bytes) {
  netStat_.updateDownload(bytes);
  if (auto* global = sharedNetStat_) {
    global->updateDownload(bytes);
  }
}

void DownloadContext::updateUploadSpeed(size_t bytes) {
  netStat_.updateUploadSpeed(bytes);
  if (auto* global = sharedNetStat_) {
    global->updateUploadSpeed(bytes);
  }
}

void DownloadContext::updateUploadLength(size_t bytes) {
  netStat_.updateUploadLength(bytes);
  if (auto* global = sharedNetStat_) {
    global->updateUploadLength(bytes);
  }
}

void DownloadContext::releaseRuntimeResource() {
  for (const auto& entry : fileEntries_) {
    entry->putBackRequest();
    entry->releaseRuntimeResource();
  }
}

}  // namespace quarn
