#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/FakeEventPoll.h"
#include "foundation/json.h"
#include "net/SocketCore.h"
#include "rpc/WebSocketSession.h"

namespace quarn::rpc {
namespace {

class WebSocketSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
    socket_ = std::make_shared<SocketCore>(fds[0], SOCK_STREAM);
    peer_ = fds[1];
    option_.put(PREF_RPC_MAX_REQUEST_SIZE, "20");
    engine_.setOption(&option_);
    session_ = std::make_shared<WebSocketSession>(socket_, &engine_);
  }
  void TearDown() override { close(peer_); }

  void feed(const std::string& chunk) {
    session_->parseUpdate(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size());
  }

  std::string finish() {
    ssize_t error = 0;
    auto value = session_->parseFinal(error);
    return error < 0 || !value ? "error" : json::encode(value.get());
  }

  Option option_;
  DownloadEngine engine_{std::make_unique<FakeEventPoll>()};
  std::shared_ptr<SocketCore> socket_;
  int peer_ = -1;
  std::shared_ptr<WebSocketSession> session_;
};

TEST_F(WebSocketSessionTest, MessageUpToTheLimitIsParsedAcrossChunks) {
  feed("{\"id\":");
  feed("12345678901}");  // 18 bytes in all
  EXPECT_EQ("{\"id\":12345678901}", finish());
}

// Once a message is over the limit, nothing more of it counts: a smaller
// later chunk that is a complete request by itself must not run.
TEST_F(WebSocketSessionTest, OversizedMessageIsDroppedToItsEnd) {
  feed(std::string(21, ' '));
  feed("{\"id\":1}");
  EXPECT_EQ("error", finish());
  // The next message starts afresh.
  feed("{\"id\":2}");
  EXPECT_EQ("{\"id\":2}", finish());
}

}  // namespace
}  // namespace quarn::rpc
