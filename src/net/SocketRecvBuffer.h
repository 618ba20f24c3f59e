#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>

namespace quarn {

class SocketCore;

// A fixed receive window: recv() appends what the socket has, the parser
// consumes from the front with drain().
class SocketRecvBuffer {
 public:
  // Bulk downloads spend most of their time in recv(2) and in the loop turn
  // around it; a window of several loopback segments (64 KiB each) takes about
  // a tenth of the calls and turns that 16 KiB needs, for the same bytes.
  static constexpr size_t BUFFER_SIZE = 131072;

  explicit SocketRecvBuffer(std::shared_ptr<SocketCore> socket);

  // The bytes added; 0 is end of stream or would block (ask the socket's want
  // flags), or a full buffer.
  ssize_t recv();
  void drain(size_t n);
  void truncateBuffer();

  const unsigned char* getBuffer() const { return pos_; }
  size_t getBufferLength() const { return static_cast<size_t>(last_ - pos_); }
  bool bufferEmpty() const { return pos_ == last_; }
  const std::shared_ptr<SocketCore>& getSocket() const { return socket_; }

 private:
  unsigned char buf_[BUFFER_SIZE];
  std::shared_ptr<SocketCore> socket_;
  unsigned char* pos_;
  unsigned char* last_;
};

}  // namespace quarn
