#include "net/SocketBuffer.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "foundation/DlAbortEx.h"
#include "net/SocketCore.h"

namespace quarn {

namespace {

struct Report {
  size_t length;
  bool complete;
  bool operator==(const Report& o) const { return length == o.length && complete == o.complete; }
};

class RecordingProgress : public ProgressUpdate {
 public:
  RecordingProgress(std::vector<Report>* reports, bool* destroyed)
      : reports_(reports), destroyed_(destroyed) {}
  ~RecordingProgress() override {
    if (destroyed_) {
      *destroyed_ = true;
    }
  }
  void update(size_t length, bool complete) override { reports_->push_back({length, complete}); }

 private:
  std::vector<Report>* reports_;
  bool* destroyed_;
};

// A connected pair of local stream sockets whose sender side has a small
// kernel buffer, so that large queues need several sends.
class SocketBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
    int size = 4096;
    setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof(size));
    sender_ = std::make_shared<SocketCore>(fds[0], SOCK_STREAM);
    sender_->setNonBlockingMode();
    receiver_ = std::make_shared<SocketCore>(fds[1], SOCK_STREAM);
    receiver_->setNonBlockingMode();
  }

  std::string drainReceiver() {
    std::string received;
    char buf[65536];
    for (;;) {
      size_t len = sizeof(buf);
      receiver_->readData(buf, len);
      if (len == 0) {
        return received;
      }
      received.append(buf, len);
    }
  }

  std::shared_ptr<SocketCore> sender_;
  std::shared_ptr<SocketCore> receiver_;
};

}  // namespace

TEST_F(SocketBufferTest, EmptyMessagesQueueNothing) {
  SocketBuffer buffer(sender_);
  std::vector<Report> reports;
  bool destroyed = false;
  buffer.pushStr("", std::make_unique<RecordingProgress>(&reports, &destroyed));
  buffer.pushBytes({}, std::make_unique<RecordingProgress>(&reports, nullptr));
  EXPECT_TRUE(buffer.sendBufferIsEmpty());
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(0, buffer.send());
  EXPECT_TRUE(reports.empty());
}

TEST_F(SocketBufferTest, SmallMessagesGoOutTogetherWithOneReportEach) {
  SocketBuffer buffer(sender_);
  std::vector<Report> reports;
  std::string expected;
  for (int i = 0; i < 130; ++i) {
    std::string message(10, static_cast<char>('a' + i % 26));
    expected += message;
    buffer.pushStr(message, std::make_unique<RecordingProgress>(&reports, nullptr));
  }
  EXPECT_EQ(1300, buffer.send());
  EXPECT_TRUE(buffer.sendBufferIsEmpty());
  ASSERT_EQ(130u, reports.size());
  for (const auto& r : reports) {
    EXPECT_EQ((Report{10, true}), r);
  }
  EXPECT_EQ(expected, drainReceiver());
}

TEST_F(SocketBufferTest, PartialWritesResumeWhereTheyStopped) {
  SocketBuffer buffer(sender_);
  std::vector<Report> first;
  std::vector<Report> second;
  std::vector<Report> third;
  std::string expected;
  std::vector<std::vector<Report>*> logs = {&first, &second, &third};
  for (int i = 0; i < 3; ++i) {
    std::string message(100000, static_cast<char>('x' + i));
    expected += message;
    buffer.pushStr(message, std::make_unique<RecordingProgress>(logs[i], nullptr));
  }
  buffer.pushBytes({'!', '?'});

  std::string received;
  ssize_t total = 0;
  while (!buffer.sendBufferIsEmpty()) {
    ssize_t n = buffer.send();
    total += n;
    if (!buffer.sendBufferIsEmpty()) {
      EXPECT_TRUE(sender_->wantWrite());
    }
    received += drainReceiver();
  }
  received += drainReceiver();
  EXPECT_EQ(expected + "!?", received);
  EXPECT_EQ(300002, total);

  for (auto* log : logs) {
    size_t sum = 0;
    ASSERT_FALSE(log->empty());
    for (size_t i = 0; i + 1 < log->size(); ++i) {
      EXPECT_FALSE((*log)[i].complete);
      sum += (*log)[i].length;
    }
    EXPECT_TRUE(log->back().complete);
    // The completing report carries what was left of the entry.
    EXPECT_EQ(100000u, sum + log->back().length);
  }
}

TEST_F(SocketBufferTest, ClosedPeerIsASendError) {
  SocketBuffer buffer(sender_);
  receiver_->closeConnection();
  buffer.pushStr("data");
  EXPECT_THROW(
      {
        for (int i = 0; i < 100; ++i) {
          buffer.pushStr("more");
          buffer.send();
        }
      },
      RecoverableException);
}

}  // namespace quarn
