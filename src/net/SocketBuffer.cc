#include "net/SocketBuffer.h"

#include <sys/uio.h>

#include <algorithm>

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "net/SocketCore.h"

namespace quarn {

namespace {

// One gathered write: at most this many entries and, unless the front entry
// alone is larger, at most this many bytes.
constexpr size_t MAX_IOVCNT = 128;
constexpr size_t MAX_GATHER_BYTES = 24576;

}  // namespace

SocketBuffer::BufEntry::BufEntry(std::unique_ptr<ProgressUpdate> progressUpdate)
    : progressUpdate_(std::move(progressUpdate)) {}

void SocketBuffer::BufEntry::progressUpdate(size_t length, bool complete) {
  if (progressUpdate_) {
    progressUpdate_->update(length, complete);
  }
}

SocketBuffer::ByteArrayBufEntry::ByteArrayBufEntry(std::vector<unsigned char> bytes,
                                                   std::unique_ptr<ProgressUpdate> progressUpdate)
    : BufEntry(std::move(progressUpdate)), bytes_(std::move(bytes)) {}

ssize_t SocketBuffer::ByteArrayBufEntry::send(const std::shared_ptr<SocketCore>& socket,
                                              size_t offset) {
  return socket->writeData(bytes_.data() + offset, bytes_.size() - offset);
}

bool SocketBuffer::ByteArrayBufEntry::final(size_t offset) const {
  return bytes_.size() <= offset;
}

size_t SocketBuffer::ByteArrayBufEntry::getLength() const {
  return bytes_.size();
}

const void* SocketBuffer::ByteArrayBufEntry::getData() const {
  return bytes_.data();
}

SocketBuffer::StringBufEntry::StringBufEntry(std::string s,
                                             std::unique_ptr<ProgressUpdate> progressUpdate)
    : BufEntry(std::move(progressUpdate)), str_(std::move(s)) {}

ssize_t SocketBuffer::StringBufEntry::send(const std::shared_ptr<SocketCore>& socket,
                                           size_t offset) {
  return socket->writeData(str_.data() + offset, str_.size() - offset);
}

bool SocketBuffer::StringBufEntry::final(size_t offset) const {
  return str_.size() <= offset;
}

size_t SocketBuffer::StringBufEntry::getLength() const {
  return str_.size();
}

const void* SocketBuffer::StringBufEntry::getData() const {
  return str_.data();
}

SocketBuffer::SocketBuffer(std::shared_ptr<SocketCore> socket)
    : socket_(std::move(socket)), offset_(0) {}

void SocketBuffer::pushBytes(std::vector<unsigned char> bytes,
                             std::unique_ptr<ProgressUpdate> progressUpdate) {
  if (!bytes.empty()) {
    bufq_.push_back(
        std::make_unique<ByteArrayBufEntry>(std::move(bytes), std::move(progressUpdate)));
  }
}

void SocketBuffer::pushStr(std::string data, std::unique_ptr<ProgressUpdate> progressUpdate) {
  if (!data.empty()) {
    bufq_.push_back(std::make_unique<StringBufEntry>(std::move(data), std::move(progressUpdate)));
  }
}

ssize_t SocketBuffer::send() {
  ssize_t totalslen = 0;
  while (!bufq_.empty()) {
    iovec iov[MAX_IOVCNT];
    BufEntry& front = *bufq_.front();
    size_t firstlen = front.getLength() - offset_;
    iov[0].iov_base =
        const_cast<unsigned char*>(static_cast<const unsigned char*>(front.getData()) + offset_);
    iov[0].iov_len = firstlen;
    size_t iovcnt = 1;
    size_t budget = firstlen < MAX_GATHER_BYTES ? MAX_GATHER_BYTES - firstlen : 0;
    for (auto i = bufq_.begin() + 1;
         i != bufq_.end() && iovcnt < MAX_IOVCNT && budget >= 1 && (*i)->getLength() <= budget;
         ++i, ++iovcnt) {
      iov[iovcnt].iov_base = const_cast<void*>((*i)->getData());
      iov[iovcnt].iov_len = (*i)->getLength();
      budget -= (*i)->getLength();
    }
    ssize_t slen = socket_->writeVector(iov, iovcnt);
    if (slen == 0 && !socket_->wantRead() && !socket_->wantWrite()) {
      throw DL_ABORT_EX(fmt(_("Failed to send data, cause: %s"), "Connection closed."));
    }
    totalslen += slen;
    if (static_cast<size_t>(slen) < firstlen) {
      offset_ += slen;
      front.progressUpdate(slen, false);
      if (socket_->wantRead() || socket_->wantWrite()) {
        return totalslen;
      }
      continue;
    }
    if (!consume(slen, iovcnt)) {
      return totalslen;
    }
  }
  return totalslen;
}

bool SocketBuffer::consume(size_t written, size_t entries) {
  size_t firstlen = bufq_.front()->getLength() - offset_;
  bufq_.front()->progressUpdate(firstlen, true);
  bufq_.pop_front();
  offset_ = 0;
  written -= firstlen;
  for (size_t i = 1; i < entries; ++i) {
    BufEntry& entry = *bufq_.front();
    size_t len = entry.getLength();
    if (written < len) {
      offset_ = written;
      entry.progressUpdate(written, false);
      return false;
    }
    entry.progressUpdate(len, true);
    bufq_.pop_front();
    written -= len;
  }
  return true;
}

}  // namespace quarn
