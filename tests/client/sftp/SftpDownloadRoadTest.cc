// The SFTP client commands end to end inside one process: downloads run
// through the real engine loop against an sshd of the test's own (root only).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "client/DownloadRoad.h"
#include "client/TestProxy.h"
#include "config/OptionParser.h"
#include "foundation/TempDir.h"
#include "foundation/util_string.h"
// The sshd harness of the transport tests, built into this binary too.
#include "net/SshTestServer.cc"

namespace quarn {
namespace {

class SftpDownloadRoadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new SshTestServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    if (!server_->available()) {
      GTEST_SKIP() << server_->whyUnavailable();
    }
    option_ = roadOption(dir_.path(), "1");
  }

  std::string put(const std::string& name, const std::string& data) {
    std::string path = server_->dir().file(name);
    std::ofstream(path, std::ios::binary) << data;
    chmod(path.c_str(), 0644);
    return path;
  }

  std::string url(const std::string& path, const std::string& password = "") const {
    return "sftp://" + server_->user() + ":" + (password.empty() ? server_->password() : password) +
           "@127.0.0.1:" + std::to_string(server_->port()) + path;
  }

  std::vector<error_code::Value> download(const std::vector<std::string>& uris) {
    return runDownloads(option_, uris, paths_);
  }
  error_code::Value download(const std::string& uri) { return download(std::vector{uri})[0]; }

  static SshTestServer* server_;
  TempDir dir_;
  std::shared_ptr<Option> option_;
  std::vector<std::string> paths_;
};

SshTestServer* SftpDownloadRoadTest::server_ = nullptr;

TEST_F(SftpDownloadRoadTest, DownloadsTheFile) {
  std::string body = randomBody(300 * 1024);
  std::string path = put("plain.bin", body);
  ASSERT_EQ(error_code::FINISHED, download(url(path)));
  EXPECT_EQ(dir_.file("plain.bin"), paths_[0]);
  EXPECT_EQ(body, readFile(paths_[0]));
}

TEST_F(SftpDownloadRoadTest, EscapedPath) {
  std::string body = randomBody(1000);
  std::string path = put("my file.bin", body);
  ASSERT_EQ(error_code::FINISHED, download(url(util::replace(path, " ", "%20"))));
  EXPECT_EQ(body, readFile(dir_.file("my file.bin")));
}

TEST_F(SftpDownloadRoadTest, HostKeyChecked) {
  std::string body = randomBody(5000);
  std::string path = put("hk.bin", body);
  option_->put(PREF_SSH_HOST_KEY_MD, "SHA-1=" + util::toHex(server_->hostKeySha1()));
  ASSERT_EQ(error_code::FINISHED, download(url(path)));
  EXPECT_EQ(body, readFile(paths_[0]));
}

TEST_F(SftpDownloadRoadTest, WrongHostKeyIsRefused) {
  std::string path = put("hk2.bin", "secret");
  option_->put(PREF_SSH_HOST_KEY_MD, "sha-1=" + std::string(40, '0'));
  EXPECT_NE(error_code::FINISHED, download(url(path)));
  EXPECT_NE("secret", readFile(paths_[0]));
}

TEST_F(SftpDownloadRoadTest, WrongPasswordFails) {
  std::string path = put("pw.bin", "secret");
  EXPECT_NE(error_code::FINISHED, download(url(path, "wrong")));
}

TEST_F(SftpDownloadRoadTest, MissingFileFails) {
  EXPECT_NE(error_code::FINISHED, download(url(server_->dir().file("nothere.bin"))));
}

TEST_F(SftpDownloadRoadTest, SeveralConnections) {
  std::string body = randomBody(3 * 1024 * 1024 + 5);
  std::string path = put("big.bin", body);
  option_->put(PREF_MAX_CONNECTION_PER_SERVER, "4");
  option_->put(PREF_SPLIT, "4");
  option_->put(PREF_MIN_SPLIT_SIZE, "1048576");
  ASSERT_EQ(error_code::FINISHED, download(url(path)));
  EXPECT_EQ(body, readFile(paths_[0]));
}

TEST_F(SftpDownloadRoadTest, PooledSessionOpensTheNextFile) {
  std::string a = randomBody(40000);
  std::string b = randomBody(70000);
  std::string pa = put("a.bin", a);
  std::string pb = put("b.bin", b);
  auto results = download({url(pa), url(pb)});
  EXPECT_EQ(error_code::FINISHED, results[0]);
  EXPECT_EQ(error_code::FINISHED, results[1]);
  EXPECT_EQ(a, readFile(paths_[0]));
  EXPECT_EQ(b, readFile(paths_[1]));
}

// SFTP always tunnels through an HTTP proxy; the server speaks first, so its
// banner may come in the same read as the proxy's answer.
TEST_F(SftpDownloadRoadTest, TunnelThroughAnHttpProxy) {
  std::string body = randomBody(100000);
  std::string path = put("tunnel.bin", body);
  for (auto answer : {TestProxy::Answer::ALONE, TestProxy::Answer::WITH_FIRST_BYTES}) {
    SCOPED_TRACE(static_cast<int>(answer));
    TestProxy proxy("", answer);
    option_->put(PREF_FTP_PROXY, proxy.uri());
    ASSERT_EQ(error_code::FINISHED, download(url(path)));
    EXPECT_EQ(body, readFile(paths_[0]));
    auto heads = proxy.heads();
    ASSERT_EQ(1U, heads.size());
    EXPECT_EQ(0U, heads[0].find("CONNECT 127.0.0.1:" + std::to_string(server_->port()) + " "));
    std::remove(paths_[0].c_str());
  }
}

TEST_F(SftpDownloadRoadTest, NulInThePathIsRefused) {
  std::string path = put("nul.bin", "x");
  EXPECT_NE(error_code::FINISHED, download(url(path + "%00.other")));
}

}  // namespace
}  // namespace quarn
