#include "storage/WrDiskCacheEntry.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "foundation/Logger.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "storage/DiskAdaptor.h"
#include "storage/DiskWriter.h"

namespace quarn {

WrDiskCacheEntry::WrDiskCacheEntry(std::shared_ptr<DiskAdaptor> diskAdaptor)
    : sizeKey_(0),
      lastUpdate_(0),
      size_(0),
      error_(0),
      errorCode_(error_code::UNDEFINED),
      diskAdaptor_(std::move(diskAdaptor)) {}

WrDiskCacheEntry::~WrDiskCacheEntry() {
  if (!set_.empty()) {
    QLOG_WARN(fmt("WrDiskCacheEntry is not empty size=%lu", static_cast<unsigned long>(size_)));
  }
  deleteDataCells();
}

void WrDiskCacheEntry::deleteDataCells() {
  for (auto* cell : set_) {
    delete cell;
  }
  set_.clear();
  size_ = 0;
}

bool WrDiskCacheEntry::cacheData(std::unique_ptr<DataCell> dataCell) {
  QLOG_DEBUG(fmt("WrDiskCacheEntry cache goff=%lld, len=%lu",
                 static_cast<long long>(dataCell->goff),
                 static_cast<unsigned long>(dataCell->len)));
  if (!set_.insert(dataCell.get()).second) {
    return false;
  }
  size_ += dataCell->len;
  dataCell.release();  // the set owns it now; clear() frees it
  return true;
}

size_t WrDiskCacheEntry::append(int64_t goff, const uint8_t* data, size_t len) {
  if (set_.empty()) {
    return 0;
  }
  DataCell* last = *set_.rbegin();
  if (last->goff + static_cast<int64_t>(last->len) != goff) {
    return 0;
  }
  size_t n = std::min(len, last->capacity - last->len);
  if (n) {
    std::memcpy(last->data.get() + last->offset + last->len, data, n);
    last->len += n;
    size_ += n;
  }
  return n;
}

std::span<uint8_t> WrDiskCacheEntry::spareAt(int64_t goff) {
  if (set_.empty()) {
    return {};
  }
  DataCell* last = *set_.rbegin();
  if (last->goff + static_cast<int64_t>(last->len) != goff) {
    return {};
  }
  return {last->data.get() + last->offset + last->len, last->capacity - last->len};
}

void WrDiskCacheEntry::grow(size_t n) {
  assert(!set_.empty());
  DataCell* last = *set_.rbegin();
  assert(n <= last->capacity - last->len);
  last->len += n;
  size_ += n;
}

void WrDiskCacheEntry::setWriteQueue(DiskWriteQueue* queue,
                                     std::shared_ptr<PendingWrites> download) {
  writeQueue_ = queue;
  downloadWrites_ = std::move(download);
}

void WrDiskCacheEntry::writeToDisk() {
  // The cells' memory goes with the queued writes: the batch owns it from
  // here and the last write to finish frees it.
  std::shared_ptr<std::vector<std::unique_ptr<DataCell>>> batch;
  if (writeQueue_) {
    batch = std::make_shared<std::vector<std::unique_ptr<DataCell>>>();
    batch->reserve(set_.size());
    for (auto* cell : set_) {
      batch->emplace_back(cell);
    }
  }
  try {
    if (batch) {
      AsyncWrite async{writeQueue_, batch, downloadWrites_, 0, 0};
      diskAdaptor_->writeCache(this, &async);
    } else {
      diskAdaptor_->writeCache(this);
    }
  } catch (const RecoverableException& e) {
    QLOG_ERROR_EX("Error when trying to flush write cache", e);
    error_ = 1;
    errorCode_ = e.getErrorCode();
  }
  if (batch) {
    set_.clear();
    size_ = 0;
  } else {
    deleteDataCells();
  }
}

void WrDiskCacheEntry::clear() {
  deleteDataCells();
}

}  // namespace quarn
