#include "net/SocketRecvBuffer.h"

#include <cassert>

#include "foundation/LogMacros.h"
#include "net/SocketCore.h"

namespace quarn {

SocketRecvBuffer::SocketRecvBuffer(std::shared_ptr<SocketCore> socket)
    : socket_(std::move(socket)), pos_(buf_), last_(buf_) {}

ssize_t SocketRecvBuffer::recv() {
  size_t len = buf_ + BUFFER_SIZE - last_;
  if (len == 0) {
    QLOG_DEBUG("Buffer full");
    return 0;
  }
  socket_->readData(last_, len);
  last_ += len;
  return static_cast<ssize_t>(len);
}

void SocketRecvBuffer::drain(size_t n) {
  assert(n <= getBufferLength());
  pos_ += n;
  if (pos_ == last_) {
    truncateBuffer();
  }
}

void SocketRecvBuffer::truncateBuffer() {
  pos_ = buf_;
  last_ = buf_;
}

}  // namespace quarn
