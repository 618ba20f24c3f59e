#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "client/ScriptedFtpServer.h"
#include "client/auth/AuthConfig.h"
#include "client/ftp/FtpConnection.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "net/SocketCore.h"
#include "storage/Request.h"

namespace quarn {
namespace {

// Drives one control connection to the server with blocking waits.
class Dialogue {
 public:
  Dialogue(uint16_t port, const std::string& uri, const std::string& user,
           const std::string& password) {
    option_.put(PREF_FTP_TYPE, "binary");
    socket_ = std::make_shared<SocketCore>();
    socket_->establishConnection("127.0.0.1", port);
    if (!socket_->isWritable(10)) {
      throw std::runtime_error("no connection");
    }
    auto req = std::make_shared<Request>();
    req->setUri(uri);
    conn_ = std::make_unique<FtpConnection>(1, socket_, req,
                                            std::make_shared<AuthConfig>(user, password), &option_);
  }

  void send(const std::function<bool(FtpConnection&)>& op) {
    while (!op(*conn_)) {
      socket_->isWritable(10);
    }
  }

  int reply(const std::function<int(FtpConnection&)>& op) {
    for (int i = 0; i < 1000; ++i) {
      int status = op(*conn_);
      if (status != 0) {
        return status;
      }
      socket_->isReadable(10);
    }
    throw std::runtime_error("no reply");
  }

  int reply() {
    return reply([](FtpConnection& c) { return c.receiveResponse(); });
  }

  FtpConnection& conn() { return *conn_; }
  const std::shared_ptr<SocketCore>& socket() const { return socket_; }

 private:
  Option option_;
  std::shared_ptr<SocketCore> socket_;
  std::unique_ptr<FtpConnection> conn_;
};

std::string readAll(SocketCore& data) {
  std::string out;
  char buf[4096];
  for (;;) {
    data.isReadable(10);
    size_t n = sizeof(buf);
    data.readData(buf, n);
    if (n == 0) {
      if (!data.wantRead()) {
        return out;
      }
      continue;
    }
    out.append(buf, n);
  }
}

TEST(FtpConnectionDialogueTest, FromGreetingToTransferAgainstARealServer) {
  ScriptedFtpServer server({"--user", "alice:s3cret"});
  if (!server.available()) {
    GTEST_SKIP() << "the scripted FTP server could not start";
  }
  std::string content(100000, 'q');
  server.put("pub/f.bin", content);
  Dialogue d(server.port(), "ftp://127.0.0.1/pub/f.bin", "alice", "s3cret");
  EXPECT_EQ(220, d.reply());
  d.send([](FtpConnection& c) { return c.sendUser(); });
  EXPECT_EQ(331, d.reply());
  d.send([](FtpConnection& c) { return c.sendPass(); });
  EXPECT_EQ(230, d.reply());
  d.send([](FtpConnection& c) { return c.sendType(); });
  EXPECT_EQ(200, d.reply());
  d.send([](FtpConnection& c) { return c.sendPwd(); });
  std::string pwd;
  EXPECT_EQ(257, d.reply([&](FtpConnection& c) { return c.receivePwdResponse(pwd); }));
  EXPECT_EQ("/", pwd);
  d.send([](FtpConnection& c) { return c.sendCwd("pub"); });
  EXPECT_EQ(250, d.reply());
  d.send([](FtpConnection& c) { return c.sendMdtm(); });
  Time mtime = Time::null();
  EXPECT_EQ(213, d.reply([&](FtpConnection& c) { return c.receiveMdtmResponse(mtime); }));
  EXPECT_TRUE(mtime.good());
  d.send([](FtpConnection& c) { return c.sendSize(); });
  int64_t size = 0;
  EXPECT_EQ(213, d.reply([&](FtpConnection& c) { return c.receiveSizeResponse(size); }));
  EXPECT_EQ(100000, size);
  d.send([](FtpConnection& c) { return c.sendPasv(); });
  std::pair<std::string, uint16_t> dest;
  EXPECT_EQ(227, d.reply([&](FtpConnection& c) { return c.receivePasvResponse(dest); }));
  EXPECT_EQ("127.0.0.1", dest.first);
  SocketCore data;
  data.establishConnection("127.0.0.1", dest.second, false);
  ASSERT_TRUE(data.isWritable(10));
  d.send([](FtpConnection& c) { return c.sendRest(nullptr); });
  EXPECT_EQ(350, d.reply());
  d.send([](FtpConnection& c) { return c.sendRetr(); });
  int status = d.reply();
  EXPECT_TRUE(status == 125 || status == 150) << status;
  EXPECT_EQ(content, readAll(data));
  EXPECT_EQ(226, d.reply());
  EXPECT_EQ(
      "USER alice\nPASS s3cret\nTYPE I\nPWD\nCWD pub\nMDTM f.bin\nSIZE f.bin\nPASV\nREST "
      "0\nRETR f.bin\n",
      server.log());
}

TEST(FtpConnectionDialogueTest, ActiveModeDataConnectionIsAccepted) {
  ScriptedFtpServer server;
  if (!server.available()) {
    GTEST_SKIP() << "the scripted FTP server could not start";
  }
  server.put("pub/g.bin", "active data");
  Dialogue d(server.port(), "ftp://127.0.0.1/pub/g.bin", "anonymous", "x@");
  EXPECT_EQ(220, d.reply());
  d.send([](FtpConnection& c) { return c.sendUser(); });
  EXPECT_EQ(331, d.reply());
  d.send([](FtpConnection& c) { return c.sendPass(); });
  EXPECT_EQ(230, d.reply());
  auto listener = d.conn().createServerSocket();
  d.send([&](FtpConnection& c) { return c.sendPort(listener); });
  EXPECT_EQ(200, d.reply());
  d.send([](FtpConnection& c) { return c.sendCwd("pub"); });
  EXPECT_EQ(250, d.reply());
  d.send([](FtpConnection& c) { return c.sendRetr(); });
  int status = d.reply();
  EXPECT_TRUE(status == 125 || status == 150) << status;
  ASSERT_TRUE(listener->isReadable(10));
  auto data = listener->acceptConnection();
  data->setNonBlockingMode();
  EXPECT_EQ("active data", readAll(*data));
  EXPECT_EQ(226, d.reply());
  EXPECT_NE(std::string::npos, server.log().find("PORT 127,0,0,1,"));
}

}  // namespace
}  // namespace quarn
