#include "client/http/HttpConnection.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "net/SocketCore.h"
#include "net/SocketRecvBuffer.h"
#include "storage/FileEntry.h"
#include "storage/Piece.h"
#include "storage/PiecedSegment.h"
#include "storage/Request.h"

namespace quarn {
namespace {

// A connection over one end of a socket pair; the test plays the server on
// the other end.
class HttpConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
    socket_ = std::make_shared<SocketCore>(fds[0], SOCK_STREAM);
    socket_->setNonBlockingMode();
    peer_ = fds[1];
    recvBuffer_ = std::make_shared<SocketRecvBuffer>(socket_);
    conn_ = std::make_unique<HttpConnection>(1, socket_, recvBuffer_);
  }

  void TearDown() override {
    if (peer_ != -1) {
      close(peer_);
      peer_ = -1;
    }
  }

  std::unique_ptr<HttpRequest> request(const std::string& uri, size_t segmentIndex = 0) {
    auto req = std::make_shared<Request>();
    EXPECT_TRUE(req->setUri(uri));
    auto http = std::make_unique<HttpRequest>();
    http->setRequest(req);
    http->setFileEntry(std::make_shared<FileEntry>("/tmp/out", 1 << 20, 0));
    http->setSegment(
        std::make_shared<PiecedSegment>(16384, std::make_shared<Piece>(segmentIndex, 16384)));
    return http;
  }

  void serverWrites(const std::string& data) {
    ASSERT_EQ(static_cast<ssize_t>(data.size()), write(peer_, data.data(), data.size()));
  }

  std::string serverReads() {
    char buf[8192];
    ssize_t n = read(peer_, buf, sizeof(buf));
    return n > 0 ? std::string(buf, n) : "";
  }

  std::shared_ptr<SocketCore> socket_;
  int peer_ = -1;
  std::shared_ptr<SocketRecvBuffer> recvBuffer_;
  std::unique_ptr<HttpConnection> conn_;
};

TEST_F(HttpConnectionTest, SendsTheRequestText) {
  auto http = request("http://host/f");
  std::string expected = http->createRequest();
  conn_->sendRequest(std::move(http));
  EXPECT_TRUE(conn_->sendBufferIsEmpty());
  EXPECT_EQ(expected, serverReads());
  conn_->sendRequest(request("http://host/g"), "GET /custom HTTP/1.1\r\n\r\n");
  EXPECT_EQ("GET /custom HTTP/1.1\r\n\r\n", serverReads());
}

TEST_F(HttpConnectionTest, EmptyQueueFailsBeforeReading) {
  serverWrites("HTTP/1.1 200 OK\r\n\r\n");
  try {
    conn_->receiveResponse();
    ADD_FAILURE();
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("No HttpRequestEntry found.", e.what());
  }
  EXPECT_TRUE(recvBuffer_->bufferEmpty());
}

TEST_F(HttpConnectionTest, PipelinedAnswersPairInOrder) {
  conn_->sendRequest(request("http://host/a", 0));
  conn_->sendRequest(request("http://host/b", 1));
  serverReads();
  EXPECT_TRUE(
      conn_->isIssued(std::make_shared<PiecedSegment>(16384, std::make_shared<Piece>(1, 16384))));
  EXPECT_FALSE(
      conn_->isIssued(std::make_shared<PiecedSegment>(16384, std::make_shared<Piece>(2, 16384))));
  serverWrites(
      "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"
      "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
  auto first = conn_->receiveResponse();
  ASSERT_TRUE(first);
  EXPECT_EQ(200, first->getStatusCode());
  EXPECT_EQ("a", first->getHttpRequest()->getFile());
  // The body and the second answer stay buffered.
  ASSERT_LE(3u, recvBuffer_->getBufferLength());
  EXPECT_EQ("abc", std::string(reinterpret_cast<const char*>(recvBuffer_->getBuffer()), 3));
  recvBuffer_->drain(3);
  // The second head is already buffered; nothing more is read.
  auto second = conn_->receiveResponse();
  ASSERT_TRUE(second);
  EXPECT_EQ(404, second->getStatusCode());
  EXPECT_EQ("b", second->getHttpRequest()->getFile());
  EXPECT_FALSE(
      conn_->isIssued(std::make_shared<PiecedSegment>(16384, std::make_shared<Piece>(1, 16384))));
}

TEST_F(HttpConnectionTest, InformationalAnswerKeepsTheRequest) {
  conn_->sendRequest(request("http://host/a"));
  serverWrites("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\n");
  EXPECT_FALSE(conn_->receiveResponse());
  EXPECT_EQ(19u, recvBuffer_->getBufferLength());
  auto res = conn_->receiveResponse();
  ASSERT_TRUE(res);
  EXPECT_EQ(200, res->getStatusCode());
  EXPECT_EQ("a", res->getHttpRequest()->getFile());
  EXPECT_TRUE(recvBuffer_->bufferEmpty());
}

TEST_F(HttpConnectionTest, HeadSplitOverReads) {
  conn_->sendRequest(request("http://host/a"));
  EXPECT_FALSE(conn_->receiveResponse());  // nothing yet, no EOF
  serverWrites("HTTP/1.1 200 OK\r\nConte");
  EXPECT_FALSE(conn_->receiveResponse());
  EXPECT_TRUE(recvBuffer_->bufferEmpty());
  serverWrites("nt-Length: 7\r\n\r\nbody");
  auto res = conn_->receiveResponse();
  ASSERT_TRUE(res);
  EXPECT_EQ(7, res->getContentLength());
  EXPECT_EQ(4u, recvBuffer_->getBufferLength());
}

TEST_F(HttpConnectionTest, EofBeforeTheHead) {
  conn_->sendRequest(request("http://host/a"));
  serverReads();
  serverWrites("HTTP/1.1 200");
  EXPECT_FALSE(conn_->receiveResponse());
  close(peer_);
  peer_ = -1;
  try {
    conn_->receiveResponse();
    ADD_FAILURE();
  } catch (const DlRetryEx& e) {
    EXPECT_STREQ("Got EOF from the server.", e.what());
  }
}

TEST_F(HttpConnectionTest, BadStatusLineFails) {
  conn_->sendRequest(request("http://host/a"));
  serverWrites("HTTP/1.1 2x0 OK\r\n\r\n");
  EXPECT_THROW(conn_->receiveResponse(), DlAbortEx);
}

TEST_F(HttpConnectionTest, EndlessHeadIsRefused) {
  conn_->sendRequest(request("http://host/a"));
  serverWrites("HTTP/1.1 200 OK\r\n");
  std::string filler = "X-Filler: " + std::string(1000, 'f') + "\r\n";
  bool threw = false;
  for (int i = 0; i < 100 && !threw; ++i) {
    serverWrites(filler);
    try {
      EXPECT_FALSE(conn_->receiveResponse());
    } catch (const DlAbortEx& e) {
      EXPECT_NE(std::string::npos, std::string(e.what()).find("Too large HTTP header"));
      threw = true;
    }
  }
  EXPECT_TRUE(threw);
}

// The answer to CONNECT leaves the socket up to the end of its head and no
// further, however the bytes arrive: the server behind the tunnel may already
// have spoken, and its reader (an FTP dialogue, an SSH session) reads the
// socket itself.
TEST_F(HttpConnectionTest, TunnelAnswerLeavesWhatFollowsOnTheSocket) {
  const std::string head = "HTTP/1.1 200 Connection established\r\nX-A: b\r\n\r\n";
  const std::string after = "220 Ready\r\n";
  const std::string all = head + after;
  for (size_t split = 1; split < all.size(); ++split) {
    SCOPED_TRACE(split);
    TearDown();  // a fresh connection for each split
    SetUp();
    auto http = request("ftp://host:21/f");
    auto proxy = std::make_shared<Request>();
    ASSERT_TRUE(proxy->setUri("http://proxy:3128/"));
    http->setProxyRequest(proxy);
    conn_->sendProxyRequest(std::move(http));
    EXPECT_EQ(0U, serverReads().find("CONNECT host:21 HTTP/1.1\r\n"));
    serverWrites(all.substr(0, split));
    auto res = conn_->receiveResponse();
    EXPECT_EQ(split >= head.size(), res != nullptr);
    serverWrites(all.substr(split));
    if (!res) {
      res = conn_->receiveResponse();
    }
    ASSERT_TRUE(res);
    EXPECT_EQ(200, res->getStatusCode());
    EXPECT_TRUE(recvBuffer_->bufferEmpty());
    char buf[64];
    size_t len = sizeof(buf);
    socket_->readData(buf, len);
    EXPECT_EQ(after, std::string(buf, len));
  }
}

TEST_F(HttpConnectionTest, EofBeforeTheTunnelAnswer) {
  auto http = request("ftp://host:21/f");
  auto proxy = std::make_shared<Request>();
  ASSERT_TRUE(proxy->setUri("http://proxy:3128/"));
  http->setProxyRequest(proxy);
  conn_->sendProxyRequest(std::move(http));
  EXPECT_FALSE(conn_->receiveResponse());
  serverWrites("HTTP/1.1 200 Conn");
  EXPECT_FALSE(conn_->receiveResponse());
  close(peer_);
  peer_ = -1;
  EXPECT_THROW(conn_->receiveResponse(), DlRetryEx);
}

TEST(HttpConnectionMaskTest, EraseConfidentialInfo) {
  EXPECT_EQ(
      "GET / HTTP/1.1\r\n"
      "Authorization: <snip>\n"
      "Proxy-Authorization: <snip>\n"
      "Cookie: <snip>\n"
      "Host: h\r\n"
      "\r\n",
      HttpConnection::eraseConfidentialInfo("GET / HTTP/1.1\r\n"
                                            "authorization: Basic dTpw\r\n"
                                            "Proxy-Authorization: Basic cDpx\r\n"
                                            "COOKIE: a=1;\r\n"
                                            "Host: h\r\n"
                                            "\r\n"));
  EXPECT_EQ("HTTP/1.1 200 OK\r\nSet-Cookie: <snip>\nSet-Cookie: <snip>\nlast\n",
            HttpConnection::eraseConfidentialInfo(
                "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\nlast"));
  EXPECT_EQ("", HttpConnection::eraseConfidentialInfo(""));
  EXPECT_EQ("Authorizationx: y\n", HttpConnection::eraseConfidentialInfo("Authorizationx: y"));
}

}  // namespace
}  // namespace quarn
