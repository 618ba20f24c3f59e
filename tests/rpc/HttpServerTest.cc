#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "foundation/DlAbortEx.h"
#include "net/SocketCore.h"
#include "rpc/HttpServer.h"
#include "rpc/HttpServerCommand.h"
#include "rpc/WebSocketSessionMan.h"
#include "rpc/origin_check.h"

namespace quarn::rpc {
namespace {

// An HttpServer over one end of a socket pair; the test writes the client's
// bytes into the other end.
class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
    server_ = std::make_shared<SocketCore>(fds[0], SOCK_STREAM);
    server_->setNonBlockingMode();
    client_ = fds[1];
    http_ = std::make_unique<HttpServer>(server_);
  }
  void TearDown() override { close(client_); }

  void send(const std::string& bytes) {
    ASSERT_EQ(static_cast<ssize_t>(bytes.size()), write(client_, bytes.data(), bytes.size()));
  }

  std::string readAll() {
    while (!http_->sendBufferIsEmpty()) {
      http_->sendResponse();
    }
    char buf[65536];
    ssize_t n = read(client_, buf, sizeof(buf));
    return n > 0 ? std::string(buf, n) : std::string();
  }

  std::shared_ptr<SocketCore> server_;
  int client_ = -1;
  std::unique_ptr<HttpServer> http_;
};

TEST_F(HttpServerTest, RequestKindsPathAndQuery) {
  struct Case {
    const char* method;
    const char* target;
    HttpServer::RequestType type;
    const char* path;
    const char* query;
  };
  const Case cases[] = {
      {"GET", "/jsonrpc?method=x#frag", HttpServer::RPC_TYPE_JSONP, "/jsonrpc", "?method=x"},
      {"POST", "/jsonrpc?x=1", HttpServer::RPC_TYPE_JSON, "/jsonrpc", "?x=1"},
      {"POST", "/rpc", HttpServer::RPC_TYPE_XML, "/rpc", ""},
      {"POST", "/JSONRPC", HttpServer::RPC_TYPE_NONE, "/JSONRPC", ""},
      {"PUT", "/jsonrpc", HttpServer::RPC_TYPE_NONE, "/jsonrpc", ""},
      {"GET", "/a#b?c", HttpServer::RPC_TYPE_NONE, "/a", ""},
      {"GET", "?q", HttpServer::RPC_TYPE_NONE, "/", "?q"},
  };
  for (const auto& c : cases) {
    send(std::string(c.method) + " " + c.target + " HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(http_->receiveRequest()) << c.target;
    EXPECT_EQ(c.type, http_->getRequestType()) << c.method << " " << c.target;
    EXPECT_EQ(c.path, http_->createPath()) << c.target;
    EXPECT_EQ(c.query, http_->createQuery()) << c.target;
  }
}

TEST_F(HttpServerTest, PipelinedRequestsStayBuffered) {
  send(
      "POST /jsonrpc HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}"
      "POST /rpc HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
  ASSERT_TRUE(http_->receiveRequest());
  EXPECT_EQ(2, http_->getContentLength());
  EXPECT_TRUE(http_->receiveBody());
  EXPECT_TRUE(http_->hasPendingInput());
  ASSERT_TRUE(http_->receiveRequest());
  EXPECT_EQ(HttpServer::RPC_TYPE_XML, http_->getRequestType());
  EXPECT_TRUE(http_->receiveBody());
}

TEST_F(HttpServerTest, InvalidContentLength) {
  for (const char* value : {"-1", "12abc", "x"}) {
    send(std::string("POST /jsonrpc HTTP/1.1\r\nContent-Length: ") + value + "\r\n\r\n");
    try {
      http_->receiveRequest();
      ADD_FAILURE() << value;
    } catch (DlAbortEx& e) {
      EXPECT_EQ(std::string("Invalid Content-Length=") + value, e.what());
    }
    http_ = std::make_unique<HttpServer>(server_);
  }
}

TEST_F(HttpServerTest, EofBeforeHeadIsAnError) {
  close(client_);
  client_ = -1;
  EXPECT_THROW(http_->receiveRequest(), DlAbortEx);
}

TEST_F(HttpServerTest, BasicAuthentication) {
  http_->setUsernamePassword("user", "pass");
  struct Case {
    const char* authorization;
    bool ok;
  };
  const Case cases[] = {
      {"Basic dXNlcjpwYXNz", true},   // user:pass
      {"basic dXNlcjpwYXNz", false},  // scheme is case-sensitive
      {"Basic dXNlcjpwYXN4", false},  // user:pasx
      {"Basic dXNlcg==", false},      // user, no password
      {"", false},
  };
  for (const auto& c : cases) {
    std::string head = "GET /jsonrpc HTTP/1.1\r\n";
    if (*c.authorization) {
      head += std::string("Authorization: ") + c.authorization + "\r\n";
    }
    send(head + "\r\n");
    ASSERT_TRUE(http_->receiveRequest());
    EXPECT_EQ(c.ok, http_->authenticate()) << c.authorization;
  }
  // A user without a password accepts any password; no user: no check.
  http_->setUsernamePassword("user", "");
  send("GET /jsonrpc HTTP/1.1\r\nAuthorization: Basic dXNlcjp4\r\n\r\n");
  ASSERT_TRUE(http_->receiveRequest());
  EXPECT_TRUE(http_->authenticate());
  http_->setUsernamePassword("", "pass");
  EXPECT_TRUE(http_->authenticate());
}

TEST_F(HttpServerTest, ResponseHeads) {
  http_->enableGZip();
  http_->setAllowOrigin("*");
  send("GET /x HTTP/1.1\r\nAccept-Encoding: deflate, GZIP\r\n\r\n");
  ASSERT_TRUE(http_->receiveRequest());
  http_->feedResponse(404, "", "", "");
  std::string out = readAll();
  EXPECT_EQ(0u, out.find("HTTP/1.1 404 Not Found\r\nDate: "));
  EXPECT_NE(std::string::npos, out.find("\r\nContent-Length: 0\r\n"));
  EXPECT_NE(std::string::npos, out.find("\r\nAccess-Control-Allow-Origin: *\r\n"));
  EXPECT_NE(std::string::npos, out.find("\r\nContent-Encoding: gzip\r\n"));
  EXPECT_EQ(std::string::npos, out.find("Connection: close"));
  EXPECT_TRUE(http_->supportsPersistentConnection());

  send("GET /x HTTP/1.0\r\nAccept-Encoding: x-gzip\r\n\r\n");
  ASSERT_TRUE(http_->receiveRequest());
  http_->feedResponse("body", "text/plain");
  out = readAll();
  EXPECT_EQ(std::string::npos, out.find("Content-Encoding"));
  EXPECT_NE(std::string::npos, out.find("\r\nContent-Type: text/plain\r\n"));
  EXPECT_NE(std::string::npos, out.find("\r\nConnection: close\r\n\r\nbody"));
  EXPECT_FALSE(http_->supportsPersistentConnection());

  http_->feedUpgradeResponse("websocket", "X: y\r\n");
  EXPECT_EQ(
      "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nX: "
      "y\r\n\r\n",
      readAll());
}

TEST(WebSocketHandshakeTest, AcceptKeyAndStatus) {
  EXPECT_EQ("s3pPLMBiTxaQ9kYGzzhZRbK+xOo=", createWebSocketAcceptKey("dGhlIHNhbXBsZSBub25jZQ=="));
  EXPECT_EQ(101, checkWebSocketHandshake("GET", "k", "13", "/jsonrpc"));
  EXPECT_EQ(400, checkWebSocketHandshake("POST", "k", "13", "/jsonrpc"));
  EXPECT_EQ(400, checkWebSocketHandshake("GET", "", "13", "/jsonrpc"));
  EXPECT_EQ(426, checkWebSocketHandshake("GET", "k", "8", "/jsonrpc"));
  EXPECT_EQ(404, checkWebSocketHandshake("GET", "k", "13", "/jsonrpc?x"));
}

TEST(WebSocketHandshakeTest, NotificationText) {
  EXPECT_EQ(
      "{\"jsonrpc\":\"2.0\",\"method\":\"quarn.onDownloadStart\",\"params\":[{\"gid\":"
      "\"0123456789abcdef\"}]}",
      createNotification("quarn.onDownloadStart", "0123456789abcdef"));
}

TEST(OriginCheckTest, LoopbackOrigins) {
  struct Case {
    const char* origin;
    bool loopback;
  };
  const Case cases[] = {
      {"http://localhost", true},
      {"https://127.0.0.1:6800", true},
      {"http://[::1]:80", true},
      {"http://LOCALHOST:1", true},
      {"http://localhost.evil.com", false},
      {"http://127.0.0.1.evil.com", false},
      {"http://evil.com", false},
      {"null", false},
      {"file://", false},
      {"http://localhost:80@evil", false},
      {"http://[::1", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.loopback, isLoopbackOrigin(c.origin)) << c.origin;
  }
}

}  // namespace
}  // namespace quarn::rpc
