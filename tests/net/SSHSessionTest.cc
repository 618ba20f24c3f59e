#include "net/SSHSession.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "LoopbackPair.h"
#include "SshTestServer.h"
#include "foundation/DlAbortEx.h"
#include "net/SocketCore.h"

namespace quarn {

class SSHSessionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    signal(SIGPIPE, SIG_IGN);
    server_ = new SshTestServer();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!server_->available()) {
      GTEST_SKIP() << server_->whyUnavailable();
    }
  }

  std::shared_ptr<SocketCore> connect() {
    auto socket = std::make_shared<SocketCore>();
    socket->establishConnection("127.0.0.1", server_->port());
    EXPECT_TRUE(socket->isWritable(10));
    EXPECT_EQ("", socket->getSocketError());
    return socket;
  }

  static SshTestServer* server_;
};

SshTestServer* SSHSessionTest::server_ = nullptr;

TEST_F(SSHSessionTest, MatchingHostKeyThenPasswordThenSftpRead) {
  std::string content;
  for (int i = 0; i < 20000; ++i) {
    content += std::to_string(i) + "\n";
  }
  std::string path = server_->dir().file("served.txt");
  std::ofstream(path) << content;
  chmod(path.c_str(), 0644);

  auto socket = connect();
  driveStep(*socket, [&] { return socket->sshHandshake("sha-1", server_->hostKeySha1()); });
  driveStep(*socket, [&] { return socket->sshAuthPassword(server_->user(), server_->password()); });
  driveStep(*socket, [&] { return socket->sshSFTPOpen(path); });
  // Opening again keeps the one open file.
  driveStep(*socket, [&] { return socket->sshSFTPOpen(path); });
  int64_t totalLength = 0;
  time_t mtime = 0;
  driveStep(*socket, [&] { return socket->sshSFTPStat(totalLength, mtime, path); });
  EXPECT_EQ(static_cast<int64_t>(content.size()), totalLength);
  EXPECT_GT(mtime, 0);

  socket->sshSFTPSeek(10);
  std::string received;
  for (int i = 0; i < 100000; ++i) {
    char buf[4096];
    size_t len = sizeof(buf);
    socket->readData(buf, len);
    if (len == 0 && !socket->wantRead() && !socket->wantWrite()) {
      break;
    }
    if (len == 0) {
      waitForWant(*socket);
    }
    received.append(buf, len);
  }
  EXPECT_EQ(content.substr(10), received);

  driveStep(*socket, [&] { return socket->sshSFTPClose(); });
  driveStep(*socket, [&] { return socket->sshGracefulShutdown(); });
}

TEST_F(SSHSessionTest, Md5HostKeyAndEmptyHashTypeAreAccepted) {
  auto socket = connect();
  driveStep(*socket, [&] { return socket->sshHandshake("md5", server_->hostKeyMd5()); });
  auto other = connect();
  driveStep(*other, [&] { return other->sshHandshake("", "ignored"); });
}

TEST_F(SSHSessionTest, MismatchingHostKeyNamesBothDigests) {
  auto socket = connect();
  std::string wrong(20, '\x01');
  try {
    driveStep(*socket, [&] { return socket->sshHandshake("sha-1", wrong); });
    FAIL() << "a wrong host key was accepted";
  } catch (const DlAbortEx& e) {
    std::string expected =
        "Unexpected SSH host key: expected 0101010101010101010101010101010101010101, actual ";
    EXPECT_EQ(0u, std::string(e.what()).find(expected)) << e.what();
  }
}

TEST_F(SSHSessionTest, UnsupportedHashTypeGivesNoFingerprint) {
  auto socket = connect();
  try {
    driveStep(*socket, [&] { return socket->sshHandshake("sha-256", "x"); });
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ(
        "Empty host key fingerprint from SSH layer: perhaps hash type sha-256 is not supported?",
        e.what());
  }
}

TEST_F(SSHSessionTest, WrongPasswordAndMissingFileFail) {
  auto socket = connect();
  driveStep(*socket, [&] { return socket->sshHandshake("", ""); });
  try {
    driveStep(*socket, [&] { return socket->sshAuthPassword(server_->user(), "wrong"); });
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ(0u, std::string(e.what()).find("SSH authentication failure: ")) << e.what();
  }

  auto second = connect();
  driveStep(*second, [&] { return second->sshHandshake("", ""); });
  driveStep(*second, [&] { return second->sshAuthPassword(server_->user(), server_->password()); });
  std::string missing = server_->dir().file("missing");
  try {
    driveStep(*second, [&] { return second->sshSFTPOpen(missing); });
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ(0u, std::string(e.what()).find("SSH opening SFTP path " + missing + " failed: "))
        << e.what();
  }
}

// A connection dropped at any point of its handshake frees everything the
// library allocated for it; the leak checker at exit is the judge.
TEST_F(SSHSessionTest, HandshakeAbandonedAtAnyStepLeavesNothingAllocated) {
  bool completed = false;
  for (int steps = 1; !completed; ++steps) {
    ASSERT_LT(steps, 50);
    auto socket = connect();
    for (int i = 0; i < steps && !completed; ++i) {
      completed = socket->sshHandshake("", "");
      if (!completed) {
        waitForWant(*socket);
      }
    }
  }
}

TEST(SSHSessionBareTest, ErrorTextBeforeInit) {
  SSHSession session;
  EXPECT_EQ("SSH session has not been initialized yet", session.getLastErrorString());
  EXPECT_EQ(SSH_ERR_OK, session.closeConnection());
}

}  // namespace quarn
