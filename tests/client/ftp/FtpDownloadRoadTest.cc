// The FTP client commands end to end inside one process: downloads run
// through the real engine loop against the scripted FTP server on loopback,
// whose log shows every command line the client sent.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "client/DownloadRoad.h"
#include "client/ScriptedFtpServer.h"
#include "client/TestProxy.h"
#include "client/auth/AuthConfigFactory.h"
#include "config/Option.h"
#include "config/OptionParser.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/EpollEventPoll.h"
#include "engine/FillRequestGroupCommand.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/File.h"
#include "foundation/LogFactory.h"
#include "foundation/TempDir.h"
#include "foundation/error_code.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"

namespace quarn {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    out.push_back(line);
  }
  return out;
}

size_t countPrefix(const std::vector<std::string>& cmds, const std::string& prefix) {
  size_t n = 0;
  for (const auto& c : cmds) {
    n += c.rfind(prefix, 0) == 0;
  }
  return n;
}

class FtpDownloadRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    option_ = roadOption(dir_.path(), "2");
    if (const char* log = getenv("QUARN_TEST_LOG")) {
      LogFactory::setLogFile(log);
      LogFactory::setLogLevel(Logger::Q_DEBUG);
      LogFactory::reconfigure();
    }
  }

  std::unique_ptr<ScriptedFtpServer> server(const std::vector<std::string>& args = {}) {
    auto s = std::make_unique<ScriptedFtpServer>(args);
    if (!s->available()) {
      return nullptr;
    }
    return s;
  }

  std::vector<error_code::Value> download(const std::vector<std::string>& uris) {
    return runDownloads(option_, uris, paths_);
  }

  error_code::Value download(const std::string& uri) { return download(std::vector{uri})[0]; }

  TempDir dir_;
  std::shared_ptr<Option> option_;
  std::vector<std::string> paths_;
};

#define SERVER_OR_SKIP(var, ...)                               \
  auto var = server(__VA_ARGS__);                              \
  if (!var) {                                                  \
    GTEST_SKIP() << "the scripted FTP server could not start"; \
  }

TEST_F(FtpDownloadRoadTest, AnonymousPassiveDownload) {
  SERVER_OR_SKIP(srv);
  std::string body = randomBody(300 * 1024);
  srv->put("pub/data.bin", body);
  ASSERT_EQ(error_code::FINISHED, download(srv->url("pub/data.bin")));
  EXPECT_EQ(dir_.file("data.bin"), paths_[0]);
  EXPECT_EQ(body, readFile(paths_[0]));
  auto cmds = lines(srv->log());
  std::vector<std::string> expected = {"USER anonymous", "TYPE I",  "PWD",
                                       "CWD /",          "CWD pub", "SIZE data.bin",
                                       "PASV",           "REST 0",  "RETR data.bin"};
  std::vector<std::string> seen;
  for (const auto& c : cmds) {
    if (c.rfind("PASS", 0) != 0) {
      seen.push_back(c);
    }
  }
  seen.resize(std::min(seen.size(), expected.size()));
  EXPECT_EQ(expected, seen) << srv->log();
}

TEST_F(FtpDownloadRoadTest, UserLoginAndRemoteTime) {
  SERVER_OR_SKIP(srv, {"--user", "alice:s3cret", "--no-anonymous"});
  std::string body = randomBody(50000);
  srv->put("data.bin", body);
  option_->put(PREF_REMOTE_TIME, "true");
  ASSERT_EQ(error_code::FINISHED, download(srv->url("data.bin", "alice:s3cret")));
  EXPECT_EQ(body, readFile(paths_[0]));
  auto cmds = lines(srv->log());
  ASSERT_GE(cmds.size(), 2U);
  EXPECT_EQ("USER alice", cmds[0]);
  EXPECT_EQ("PASS s3cret", cmds[1]);
  EXPECT_EQ(1U, countPrefix(cmds, "MDTM data.bin"));
}

TEST_F(FtpDownloadRoadTest, ActiveMode) {
  SERVER_OR_SKIP(srv);
  std::string body = randomBody(70000);
  srv->put("data.bin", body);
  option_->put(PREF_FTP_PASV, "false");
  ASSERT_EQ(error_code::FINISHED, download(srv->url("data.bin")));
  EXPECT_EQ(body, readFile(paths_[0]));
  auto cmds = lines(srv->log());
  EXPECT_EQ(1U, countPrefix(cmds, "PORT 127,0,0,1,"));
  EXPECT_EQ(0U, countPrefix(cmds, "PASV"));
}

TEST_F(FtpDownloadRoadTest, SeveralConnections) {
  // Paced transfers, so that the first connection cannot fetch the whole file
  // before the others have logged in.
  SERVER_OR_SKIP(srv, {"--rate", "1048576"});
  std::string body = randomBody(3 * 1024 * 1024 + 77);
  srv->put("big.bin", body);
  option_->put(PREF_MAX_CONNECTION_PER_SERVER, "4");
  option_->put(PREF_SPLIT, "4");
  option_->put(PREF_MIN_SPLIT_SIZE, "1048576");
  ASSERT_EQ(error_code::FINISHED, download(srv->url("big.bin")));
  EXPECT_EQ(body, readFile(paths_[0]));
  auto cmds = lines(srv->log());
  EXPECT_GT(countPrefix(cmds, "RETR big.bin"), 1U) << srv->log();
}

TEST_F(FtpDownloadRoadTest, OneLoginServesTwoFiles) {
  SERVER_OR_SKIP(srv, {"--user", "alice:s3cret", "--no-anonymous"});
  std::string a = randomBody(40000);
  std::string b = randomBody(60000);
  srv->put("pub/a.bin", a);
  srv->put("pub/b.bin", b);
  auto results =
      download({srv->url("pub/a.bin", "alice:s3cret"), srv->url("pub/b.bin", "alice:s3cret")});
  EXPECT_EQ(error_code::FINISHED, results[0]);
  EXPECT_EQ(error_code::FINISHED, results[1]);
  EXPECT_EQ(a, readFile(paths_[0]));
  EXPECT_EQ(b, readFile(paths_[1]));
  auto cmds = lines(srv->log());
  EXPECT_EQ(1U, countPrefix(cmds, "USER")) << srv->log();
  EXPECT_EQ(2U, countPrefix(cmds, "RETR")) << srv->log();
}

TEST_F(FtpDownloadRoadTest, WrongPasswordIsAnFtpError) {
  SERVER_OR_SKIP(srv, {"--user", "alice:s3cret", "--no-anonymous"});
  srv->put("data.bin", "x");
  option_->put(PREF_MAX_TRIES, "1");
  EXPECT_EQ(error_code::FTP_PROTOCOL_ERROR, download(srv->url("data.bin", "alice:wrong")));
  EXPECT_EQ(0U, countPrefix(lines(srv->log()), "RETR"));
}

TEST_F(FtpDownloadRoadTest, MissingFileAndDirectoryAreNotFound) {
  SERVER_OR_SKIP(srv);
  option_->put(PREF_MAX_TRIES, "1");
  EXPECT_EQ(error_code::RESOURCE_NOT_FOUND, download(srv->url("nothere.bin")));
  EXPECT_EQ(error_code::RESOURCE_NOT_FOUND, download(srv->url("nodir/data.bin")));
  EXPECT_EQ(1U, countPrefix(lines(srv->log()), "CWD nodir"));
}

TEST_F(FtpDownloadRoadTest, RestRefusedOnAFreshDownloadGoesOn) {
  SERVER_OR_SKIP(srv, {"--refuse", "REST"});
  std::string body = randomBody(30000);
  srv->put("data.bin", body);
  ASSERT_EQ(error_code::FINISHED, download(srv->url("data.bin")));
  EXPECT_EQ(body, readFile(paths_[0]));
}

TEST_F(FtpDownloadRoadTest, SizeRefusedDownloadsToTheEndOfTheData) {
  SERVER_OR_SKIP(srv, {"--refuse", "SIZE"});
  std::string body = randomBody(123456);
  srv->put("data.bin", body);
  ASSERT_EQ(error_code::FINISHED, download(srv->url("data.bin")));
  EXPECT_EQ(body, readFile(paths_[0]));
}

// A made-up size must be refused before any storage is sized by it.
TEST_F(FtpDownloadRoadTest, AbsurdSizeIsRefused) {
  SERVER_OR_SKIP(srv, {"--size-reply", "213 9223372036854775807"});
  srv->put("data.bin", "tiny");
  EXPECT_NE(error_code::FINISHED, download(srv->url("data.bin")));
  EXPECT_FALSE(File(dir_.file("data.bin")).exists());
}

TEST_F(FtpDownloadRoadTest, PreDownloadHandlerKeepsAMetalinkInMemory) {
  SERVER_OR_SKIP(srv);
  srv->put("list.metalink", "<metalink/>");
  option_->put(PREF_FOLLOW_METALINK, V_MEM);
  ASSERT_EQ(error_code::FINISHED, download(srv->url("list.metalink")));
  EXPECT_FALSE(File(dir_.file("list.metalink")).exists());
}

TEST_F(FtpDownloadRoadTest, AbortedTransferOfUnknownSizeIsNotAFinishedDownload) {
  SERVER_OR_SKIP(srv, {"--refuse", "SIZE", "--final-status", "426"});
  srv->put("data.bin", randomBody(50000));
  EXPECT_NE(error_code::FINISHED, download(srv->url("data.bin")));
  EXPECT_EQ(2U, countPrefix(lines(srv->log()), "RETR")) << srv->log();
}

TEST_F(FtpDownloadRoadTest, AbortStatusAfterAllBytesOfAKnownSize) {
  SERVER_OR_SKIP(srv, {"--final-status", "426"});
  std::string body = randomBody(50000);
  srv->put("data.bin", body);
  ASSERT_EQ(error_code::FINISHED, download(srv->url("data.bin")));
  EXPECT_EQ(body, readFile(paths_[0]));
}

TEST_F(FtpDownloadRoadTest, DataConnectionClosedEarlyIsResumed) {
  SERVER_OR_SKIP(srv, {"--cut-data-after", "100000"});
  std::string body = randomBody(300 * 1024);
  srv->put("data.bin", body);
  ASSERT_EQ(error_code::FINISHED, download(srv->url("data.bin")));
  EXPECT_EQ(body, readFile(paths_[0]));
  auto cmds = lines(srv->log());
  EXPECT_EQ(2U, countPrefix(cmds, "RETR")) << srv->log();
  EXPECT_EQ(1U, countPrefix(cmds, "REST 0")) << srv->log();
}

TEST_F(FtpDownloadRoadTest, LineBreaksInThePathNeverReachTheServer) {
  SERVER_OR_SKIP(srv);
  srv->put("data.bin", "keep me");
  option_->put(PREF_MAX_TRIES, "1");
  for (const char* path :
       {"a%0D%0ADELE%20data.bin", "a%0ADELE%20data.bin", "a%00b", "d%0D%0ADELE%20x/data.bin"}) {
    EXPECT_NE(error_code::FINISHED, download(srv->url(path))) << path;
  }
  EXPECT_EQ("", srv->log());
  EXPECT_EQ("keep me", readFile(srv->root() + "/data.bin"));
}

// Over IPv6 the extended commands are used.
TEST_F(FtpDownloadRoadTest, Ipv6UsesExtendedCommands) {
  for (bool pasv : {true, false}) {
    SERVER_OR_SKIP(srv, {"--host", "::1"});
    std::string body = randomBody(20000);
    srv->put("data.bin", body);
    option_->put(PREF_FTP_PASV, pasv ? "true" : "false");
    ASSERT_EQ(error_code::FINISHED, download(srv->url("data.bin"))) << pasv;
    EXPECT_EQ(body, readFile(paths_[0]));
    auto cmds = lines(srv->log());
    EXPECT_EQ(1U, countPrefix(cmds, pasv ? "EPSV" : "EPRT |2|::1|")) << srv->log();
    EXPECT_EQ(0U, countPrefix(cmds, pasv ? "PASV" : "PORT")) << srv->log();
  }
}

// Refused extended commands fall back to their classic forms, which the test
// server cannot serve over IPv6: the dialogue shows the fallback.
TEST_F(FtpDownloadRoadTest, Ipv6FallsBackWhenExtendedCommandsAreRefused) {
  SERVER_OR_SKIP(srv, {"--host", "::1", "--refuse", "EPSV"});
  srv->put("data.bin", "x");
  option_->put(PREF_MAX_TRIES, "1");
  EXPECT_NE(error_code::FINISHED, download(srv->url("data.bin")));
  auto cmds = lines(srv->log());
  EXPECT_EQ(1U, countPrefix(cmds, "EPSV")) << srv->log();
  EXPECT_EQ(1U, countPrefix(cmds, "PASV")) << srv->log();
}

TEST_F(FtpDownloadRoadTest, Ipv6ActiveFallsBackToPortWhenEprtIsRefused) {
  SERVER_OR_SKIP(srv, {"--host", "::1", "--refuse", "EPRT"});
  srv->put("data.bin", "x");
  option_->put(PREF_FTP_PASV, "false");
  option_->put(PREF_MAX_TRIES, "1");
  EXPECT_NE(error_code::FINISHED, download(srv->url("data.bin")));
  auto cmds = lines(srv->log());
  EXPECT_EQ(1U, countPrefix(cmds, "EPRT")) << srv->log();
  EXPECT_EQ(1U, countPrefix(cmds, "PORT")) << srv->log();
}

// The control connection, then the passive data connection, both tunnelled;
// also when the greeting comes in the same read as the proxy's answer.
TEST_F(FtpDownloadRoadTest, TunnelThroughAnHttpProxy) {
  for (auto answer : {TestProxy::Answer::ALONE, TestProxy::Answer::WITH_FIRST_BYTES}) {
    SCOPED_TRACE(static_cast<int>(answer));
    SERVER_OR_SKIP(srv);
    std::string body = randomBody(200000);
    srv->put("pub/data.bin", body);
    TestProxy proxy("", answer);
    option_->put(PREF_FTP_PROXY, proxy.uri());
    option_->put(PREF_PROXY_METHOD, "tunnel");
    ASSERT_EQ(error_code::FINISHED, download(srv->url("pub/data.bin")));
    EXPECT_EQ(body, readFile(paths_[0]));
    auto heads = proxy.heads();
    ASSERT_EQ(2U, heads.size());
    std::string control = "CONNECT 127.0.0.1:" + std::to_string(srv->port()) + " ";
    EXPECT_EQ(0U, heads.front().find(control));
    EXPECT_EQ(0U, heads.back().find("CONNECT 127.0.0.1:"));
    EXPECT_EQ(std::string::npos, heads.back().find(control));
    auto cmds = lines(srv->log());
    EXPECT_EQ(1U, countPrefix(cmds, "USER")) << srv->log();
    EXPECT_EQ(1U, countPrefix(cmds, "RETR data.bin")) << srv->log();
    std::remove(paths_[0].c_str());
  }
}

TEST_F(FtpDownloadRoadTest, GetThroughAnHttpProxy) {
  std::string body = randomBody(30000);
  TestProxy proxy(body);
  option_->put(PREF_FTP_PROXY, proxy.uri());
  option_->put(PREF_PROXY_METHOD, "get");
  ASSERT_EQ(error_code::FINISHED, download("ftp://ftp.example.org/pub/data.bin"));
  EXPECT_EQ(body, readFile(paths_[0]));
  auto heads = proxy.heads();
  ASSERT_FALSE(heads.empty());
  EXPECT_EQ(0U, heads[0].find("GET ftp://")) << heads[0];
  EXPECT_NE(std::string::npos, heads[0].find("ftp.example.org/pub/data.bin HTTP/1.1\r\n"))
      << heads[0];
}

}  // namespace
}  // namespace quarn
