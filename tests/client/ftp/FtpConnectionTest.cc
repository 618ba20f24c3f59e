#include "client/ftp/FtpConnection.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "client/auth/AuthConfig.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "foundation/LogFactory.h"
#include "foundation/error_code.h"
#include "net/SocketCore.h"
#include "storage/Piece.h"
#include "storage/PiecedSegment.h"
#include "storage/Request.h"

namespace quarn {
namespace {

std::shared_ptr<Request> makeRequest(const std::string& uri) {
  auto req = std::make_shared<Request>();
  EXPECT_TRUE(req->setUri(uri));
  return req;
}

// A control connection over one end of a socket pair; the test scripts the
// server on the other end.
class FtpConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
    socket_ = std::make_shared<SocketCore>(fds[0], SOCK_STREAM);
    socket_->setNonBlockingMode();
    peer_ = fds[1];
    option_.put(PREF_FTP_TYPE, "binary");
    conn_ = make("ftp://host/dir/file%20name.bin");
  }

  void TearDown() override {
    if (peer_ != -1) {
      close(peer_);
    }
  }

  std::unique_ptr<FtpConnection> make(const std::string& uri) {
    return std::make_unique<FtpConnection>(
        1, socket_, makeRequest(uri), std::make_shared<AuthConfig>("alice", "s3cret"), &option_);
  }

  void serverWrites(const std::string& data) {
    ASSERT_EQ(static_cast<ssize_t>(data.size()), write(peer_, data.data(), data.size()));
  }

  std::string serverReads() {
    char buf[8192];
    ssize_t n = read(peer_, buf, sizeof(buf));
    return n > 0 ? std::string(buf, n) : "";
  }

  void closePeer() {
    close(peer_);
    peer_ = -1;
  }

  template <typename Ex>
  void expectThrows(const std::function<void()>& f, const std::string& message,
                    error_code::Value code) {
    try {
      f();
      FAIL() << "no exception, expected " << message;
    } catch (const Ex& e) {
      EXPECT_EQ(message, e.what());
      EXPECT_EQ(code, e.getErrorCode());
    }
  }

  std::shared_ptr<SocketCore> socket_;
  int peer_ = -1;
  Option option_;
  std::unique_ptr<FtpConnection> conn_;
};

TEST_F(FtpConnectionTest, CommandsCarryDecodedArguments) {
  struct Case {
    std::function<bool(FtpConnection&)> send;
    std::string wire;
  } cases[] = {
      {[](FtpConnection& c) { return c.sendUser(); }, "USER alice\r\n"},
      {[](FtpConnection& c) { return c.sendPass(); }, "PASS s3cret\r\n"},
      {[](FtpConnection& c) { return c.sendType(); }, "TYPE I\r\n"},
      {[](FtpConnection& c) { return c.sendPwd(); }, "PWD\r\n"},
      {[](FtpConnection& c) { return c.sendCwd("a%20b"); }, "CWD a b\r\n"},
      {[](FtpConnection& c) { return c.sendMdtm(); }, "MDTM file name.bin\r\n"},
      {[](FtpConnection& c) { return c.sendSize(); }, "SIZE file name.bin\r\n"},
      {[](FtpConnection& c) { return c.sendEpsv(); }, "EPSV\r\n"},
      {[](FtpConnection& c) { return c.sendPasv(); }, "PASV\r\n"},
      {[](FtpConnection& c) { return c.sendRest(nullptr); }, "REST 0\r\n"},
      {[](FtpConnection& c) { return c.sendRetr(); }, "RETR file name.bin\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(c.send(*conn_));
    EXPECT_EQ(c.wire, serverReads());
  }
  option_.put(PREF_FTP_TYPE, "ascii");
  EXPECT_TRUE(conn_->sendType());
  EXPECT_EQ("TYPE A\r\n", serverReads());
}

TEST_F(FtpConnectionTest, RestSendsTheSegmentsWritePosition) {
  auto segment = std::make_shared<PiecedSegment>(1 << 20, std::make_shared<Piece>(2, 1 << 20));
  segment->updateWrittenLength(100);
  EXPECT_TRUE(conn_->sendRest(segment));
  EXPECT_EQ("REST 2097252\r\n", serverReads());
}

TEST_F(FtpConnectionTest, CommandIsQueuedOnceUntilSent) {
  // Fill the socket so that the command cannot leave at once.
  std::string filler(1 << 16, 'x');
  while (socket_->writeData(filler.data(), filler.size()) > 0) {
  }
  EXPECT_FALSE(conn_->sendPwd());
  EXPECT_FALSE(conn_->sendPwd());
  std::string received;
  do {
    received += serverReads();
  } while (!conn_->sendPwd());
  char buf[8192];
  ssize_t n;
  while ((n = recv(peer_, buf, sizeof(buf), MSG_DONTWAIT)) > 0) {
    received.append(buf, n);
  }
  size_t first = received.find("PWD\r\n");
  ASSERT_NE(std::string::npos, first);
  EXPECT_EQ(std::string::npos, received.find("PWD\r\n", first + 1));
}

TEST_F(FtpConnectionTest, ControlCharactersInArgumentsAreRefusedBeforeSending) {
  for (const char* uri :
       {"ftp://host/dir/a%0D%0ADELE%20x", "ftp://host/dir/a%00b", "ftp://host/dir/a%0Ab"}) {
    auto conn = make(uri);
    EXPECT_THROW(conn->sendRetr(), DlAbortEx) << uri;
    EXPECT_THROW(conn->sendSize(), DlAbortEx) << uri;
  }
  EXPECT_THROW(conn_->sendCwd("pub%0D%0ADELE%20x"), DlAbortEx);
  auto conn = std::make_unique<FtpConnection>(
      1, socket_, makeRequest("ftp://host/f"),
      std::make_shared<AuthConfig>("eve\r\nDELE x", "pw\nx"), &option_);
  EXPECT_THROW(conn->sendUser(), DlAbortEx);
  EXPECT_THROW(conn->sendPass(), DlAbortEx);
  // Nothing reached the server.
  EXPECT_TRUE(conn_->sendPwd());
  EXPECT_EQ("PWD\r\n", serverReads());
}

TEST_F(FtpConnectionTest, LogHidesUserAndPassword) {
  char tmpl[] = "/tmp/ftpconnlogXXXXXX";
  int fd = mkstemp(tmpl);
  ASSERT_NE(-1, fd);
  close(fd);
  LogFactory::setLogFile(tmpl);
  LogFactory::setLogLevel(Logger::Q_DEBUG);
  LogFactory::reconfigure();
  EXPECT_TRUE(conn_->sendUser());
  EXPECT_TRUE(conn_->sendPass());
  EXPECT_TRUE(conn_->sendPwd());
  LogFactory::setLogFile("");
  LogFactory::reconfigure();
  std::ifstream in(tmpl);
  std::stringstream log;
  log << in.rdbuf();
  unlink(tmpl);
  EXPECT_NE(std::string::npos, log.str().find("USER ********"));
  EXPECT_NE(std::string::npos, log.str().find("PASS ********"));
  EXPECT_NE(std::string::npos, log.str().find("PWD"));
  EXPECT_EQ(std::string::npos, log.str().find("alice"));
  EXPECT_EQ(std::string::npos, log.str().find("s3cret"));
}

TEST_F(FtpConnectionTest, SingleAndMultiLineReplies) {
  serverWrites("220 Ready\r\n");
  EXPECT_EQ(220, conn_->receiveResponse());
  serverWrites("220-Hello\r\n");
  EXPECT_EQ(0, conn_->receiveResponse());
  serverWrites("more\r\n220 Ready\r\n");
  EXPECT_EQ(220, conn_->receiveResponse());
  EXPECT_EQ(0, conn_->receiveResponse());
}

TEST_F(FtpConnectionTest, MultiLineReplyEndsOnlyAtItsOwnStatus) {
  serverWrites("230-Welcome\r\n 230 indented\r\n200 not mine\r\n230 Done\r\n");
  std::string text;
  EXPECT_EQ(230, conn_->receivePwdResponse(text));
  serverWrites("250 next\r\n");
  EXPECT_EQ(250, conn_->receiveResponse());
}

TEST_F(FtpConnectionTest, BytesReceivedByAnEarlierReaderComeFirst) {
  conn_->setInitialReceivedBytes("220 Hel");
  EXPECT_TRUE(conn_->hasPendingReply());
  EXPECT_EQ(0, conn_->receiveResponse());
  serverWrites("lo\r\n331 Pass\r\n");
  EXPECT_EQ(220, conn_->receiveResponse());
  EXPECT_TRUE(conn_->hasPendingReply());
  EXPECT_EQ(331, conn_->receiveResponse());
  EXPECT_FALSE(conn_->hasPendingReply());
}

TEST_F(FtpConnectionTest, ReplySplitAcrossReads) {
  serverWrites("22");
  EXPECT_EQ(0, conn_->receiveResponse());
  serverWrites("0 OK\r\n");
  EXPECT_EQ(220, conn_->receiveResponse());
}

TEST_F(FtpConnectionTest, TwoRepliesInOneRead) {
  serverWrites("150 Opening\r\n226 Done\r\n");
  EXPECT_EQ(150, conn_->receiveResponse());
  EXPECT_EQ(226, conn_->receiveResponse());
}

TEST_F(FtpConnectionTest, MalformedReplyHeadsAreProtocolErrors) {
  for (const char* text : {"2200 x\r\n", "213\r\n", "abc\r\n"}) {
    auto conn = make("ftp://host/f");
    serverWrites(text);
    expectThrows<DlAbortEx>([&] { conn->receiveResponse(); }, "Invalid response.",
                            error_code::FTP_PROTOCOL_ERROR);
    // Drain what the failed connection left unread in the socket.
    char buf[64];
    while (recv(socket_->getSockfd(), buf, sizeof(buf), MSG_DONTWAIT) > 0) {
    }
  }
  serverWrites("220");
  EXPECT_EQ(0, conn_->receiveResponse());
}

TEST_F(FtpConnectionTest, EndOfStreamFailsEvenWithACompleteReply) {
  serverWrites("226 Done\r\n");
  closePeer();
  expectThrows<DlRetryEx>([&] { conn_->receiveResponse(); }, "Got EOF from the server.",
                          error_code::UNKNOWN_ERROR);
}

TEST_F(FtpConnectionTest, ReceiveBufferIsBounded) {
  std::string head = "220-";
  std::string full = head + std::string(FtpConnection::MAX_RECV_BUFFER - head.size(), 'x');
  size_t sent = 0;
  while (sent < full.size()) {
    ssize_t n = write(peer_, full.data() + sent, full.size() - sent);
    ASSERT_GT(n, 0);
    sent += n;
    EXPECT_EQ(0, conn_->receiveResponse());
  }
  EXPECT_EQ(0, conn_->receiveResponse());
  serverWrites("x");
  expectThrows<DlRetryEx>([&] { conn_->receiveResponse(); },
                          "Max FTP recv buffer reached. length=65537", error_code::UNKNOWN_ERROR);
}

TEST_F(FtpConnectionTest, SizeReplies) {
  int64_t size = -5;
  serverWrites("213 1234\r\n");
  EXPECT_EQ(213, conn_->receiveSizeResponse(size));
  EXPECT_EQ(1234, size);
  serverWrites("550 No such file\r\n");
  EXPECT_EQ(550, conn_->receiveSizeResponse(size));
  EXPECT_EQ(1234, size);
  for (const char* text : {"213 -1\r\n", "213 abc\r\n", "213 \r\n"}) {
    serverWrites(text);
    expectThrows<DlAbortEx>([&] { conn_->receiveSizeResponse(size); },
                            "Size must be positive integer", error_code::UNKNOWN_ERROR);
  }
}

TEST_F(FtpConnectionTest, MdtmReplies) {
  Time t = Time::null();
  serverWrites("213 20240102030405\r\n");
  EXPECT_EQ(213, conn_->receiveMdtmResponse(t));
  EXPECT_TRUE(t.good());
  EXPECT_EQ(1704164645, t.getTimeFromEpoch());
  EXPECT_EQ(1704164645, FtpConnection::parseMdtm("213 20240102030405.123\r\n").getTimeFromEpoch());
  for (const char* text : {"213 2024\r\n", "213 2024010203040x\r\n", "213\r\n"}) {
    EXPECT_TRUE(FtpConnection::parseMdtm(text).bad()) << text;
  }
}

TEST_F(FtpConnectionTest, EpsvReplies) {
  uint16_t port = 1;
  serverWrites("229 Entering Extended Passive Mode (|||6446|)\r\n");
  EXPECT_EQ(229, conn_->receiveEpsvResponse(port));
  EXPECT_EQ(6446, port);
  for (const char* text : {"229 (|||0|)\r\n", "229 (|||70000|)\r\n", "229 (||6446|)\r\n",
                           "229 )|||6446|(\r\n", "229 no parens\r\n"}) {
    EXPECT_EQ(0, FtpConnection::parseEpsvPort(text)) << text;
  }
}

TEST_F(FtpConnectionTest, PasvReplies) {
  std::pair<std::string, uint16_t> hp;
  serverWrites("227 Entering Passive Mode (192,168,0,1,200,10)\r\n");
  EXPECT_EQ(227, conn_->receivePasvResponse(hp));
  EXPECT_EQ("192.168.0.1", hp.first);
  EXPECT_EQ(200 * 256 + 10, hp.second);
  hp = FtpConnection::parsePasv("227 (1,2,3,4,5,6)\r\n");
  EXPECT_EQ("1.2.3.4", hp.first);
  EXPECT_EQ(1286, hp.second);
  expectThrows<DlRetryEx>([] { FtpConnection::parsePasv("227 Entering Passive Mode\r\n"); },
                          "Invalid response.", error_code::UNKNOWN_ERROR);
}

TEST_F(FtpConnectionTest, UnparsableDataAddressesAreFtpErrors) {
  for (const char* text : {"227 (999,1,x,1,117)\r\n", "227 (127,0,0,1,0,0)\r\n",
                           "227 (127,0,0,1,300,1)\r\n", "227 (127,0,0,1)\r\n"}) {
    EXPECT_THROW(
        {
          try {
            FtpConnection::parsePasv(text);
          } catch (const DlAbortEx& e) {
            EXPECT_EQ(error_code::FTP_PROTOCOL_ERROR, e.getErrorCode()) << text;
            throw;
          }
        },
        DlAbortEx)
        << text;
  }
  uint16_t port = 1;
  serverWrites("229 Entering Extended Passive Mode (|||x|)\r\n");
  EXPECT_THROW(conn_->receiveEpsvResponse(port), DlAbortEx);
}

TEST_F(FtpConnectionTest, PwdReplies) {
  std::string dir;
  serverWrites("257 \"/home/user\" is current directory\r\n");
  EXPECT_EQ(257, conn_->receivePwdResponse(dir));
  EXPECT_EQ("/home/user", dir);
  EXPECT_EQ("a", FtpConnection::parsePwd("257 \"a\"\"b\"\r\n"));
  expectThrows<DlAbortEx>([] { FtpConnection::parsePwd("257 /home/user\r\n"); },
                          "Invalid response.", error_code::FTP_PROTOCOL_ERROR);
  expectThrows<DlAbortEx>([] { FtpConnection::parsePwd("257 \"/home/user\r\n"); },
                          "Invalid response.", error_code::FTP_PROTOCOL_ERROR);
}

// Active mode needs a real TCP control connection.
TEST(FtpConnectionActiveTest, PortAndEprtNameTheListeningSocket) {
  auto listener = std::make_shared<SocketCore>();
  listener->bind("127.0.0.1", 0, AF_INET, AI_PASSIVE);
  listener->beginListen();
  auto ctrl = std::make_shared<SocketCore>();
  ctrl->establishConnection("127.0.0.1", listener->getAddrInfo().port);
  ASSERT_TRUE(listener->isReadable(10));
  ASSERT_TRUE(ctrl->isWritable(10));
  auto server = listener->acceptConnection();
  server->setBlockingMode();
  Option option;
  FtpConnection conn(1, ctrl, makeRequest("ftp://127.0.0.1/f"), nullptr, &option);

  auto dataListener = conn.createServerSocket();
  Endpoint local = dataListener->getAddrInfo();
  EXPECT_EQ("127.0.0.1", local.addr);
  EXPECT_NE(0, local.port);

  auto readLine = [&] {
    char buf[256];
    size_t n = sizeof(buf);
    server->readData(buf, n);
    return std::string(buf, n);
  };
  EXPECT_TRUE(conn.sendPort(dataListener));
  char expected[64];
  snprintf(expected, sizeof(expected), "PORT 127,0,0,1,%d,%d\r\n", local.port / 256,
           local.port % 256);
  EXPECT_EQ(expected, readLine());
  EXPECT_TRUE(conn.sendEprt(dataListener));
  EXPECT_EQ("EPRT |1|127.0.0.1|" + std::to_string(local.port) + "|\r\n", readLine());
  EXPECT_EQ("", conn.getUser());

  // The data connection the server opens is accepted on it.
  SocketCore data;
  data.establishConnection("127.0.0.1", local.port);
  ASSERT_TRUE(dataListener->isReadable(10));
  EXPECT_NE(nullptr, dataListener->acceptConnection());
}

}  // namespace
}  // namespace quarn
