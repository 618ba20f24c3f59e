#include "net/SocketRecvBuffer.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "net/SocketCore.h"

namespace quarn {

class SocketRecvBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds_));
    socket_ = std::make_shared<SocketCore>(fds_[0], SOCK_STREAM);
    socket_->setNonBlockingMode();
  }
  void TearDown() override {
    if (fds_[1] != -1) {
      close(fds_[1]);
    }
  }

  void peerWrites(const std::string& data) {
    ASSERT_EQ(static_cast<ssize_t>(data.size()), write(fds_[1], data.data(), data.size()));
  }

  int fds_[2];
  std::shared_ptr<SocketCore> socket_;
};

TEST_F(SocketRecvBufferTest, ReadsAppendAndDrainConsumesFromTheFront) {
  SocketRecvBuffer buffer(socket_);
  EXPECT_TRUE(buffer.bufferEmpty());
  EXPECT_EQ(0, buffer.recv());
  EXPECT_TRUE(socket_->wantRead());

  peerWrites("GET / HTTP/1.1\r\n");
  EXPECT_EQ(16, buffer.recv());
  peerWrites("Host: x\r\n");
  EXPECT_EQ(9, buffer.recv());
  EXPECT_EQ(
      "GET / HTTP/1.1\r\nHost: x\r\n",
      std::string(reinterpret_cast<const char*>(buffer.getBuffer()), buffer.getBufferLength()));
  buffer.drain(16);
  EXPECT_EQ("Host: x\r\n", std::string(reinterpret_cast<const char*>(buffer.getBuffer()),
                                       buffer.getBufferLength()));
  buffer.drain(9);
  EXPECT_TRUE(buffer.bufferEmpty());
  buffer.drain(0);
  EXPECT_TRUE(buffer.bufferEmpty());
}

TEST_F(SocketRecvBufferTest, FullWindowReadsNothingUntilFullyDrained) {
  SocketRecvBuffer buffer(socket_);
  peerWrites(std::string(SocketRecvBuffer::BUFFER_SIZE + 100, 'a'));
  ssize_t total = 0;
  while (total < static_cast<ssize_t>(SocketRecvBuffer::BUFFER_SIZE)) {
    total += buffer.recv();
  }
  EXPECT_EQ(static_cast<ssize_t>(SocketRecvBuffer::BUFFER_SIZE), total);
  EXPECT_EQ(0, buffer.recv());
  EXPECT_FALSE(socket_->wantRead());
  // Consumed room at the front is not reused while anything is unconsumed.
  buffer.drain(100);
  EXPECT_EQ(0, buffer.recv());
  buffer.drain(SocketRecvBuffer::BUFFER_SIZE - 100);
  EXPECT_EQ(100, buffer.recv());
}

TEST_F(SocketRecvBufferTest, EndOfStreamAddsNothingWithoutWant) {
  SocketRecvBuffer buffer(socket_);
  peerWrites("tail");
  close(fds_[1]);
  fds_[1] = -1;
  EXPECT_EQ(4, buffer.recv());
  EXPECT_EQ(0, buffer.recv());
  EXPECT_FALSE(socket_->wantRead());
  EXPECT_EQ(4u, buffer.getBufferLength());
  buffer.truncateBuffer();
  EXPECT_TRUE(buffer.bufferEmpty());
}

}  // namespace quarn
