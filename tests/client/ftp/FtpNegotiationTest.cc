// The FTP dialogue against a peer whose replies the test chooses: the answers
// a real server rarely gives.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/DownloadRoad.h"
#include "client/ScriptedFtpPeer.h"
#include "config/OptionParser.h"
#include "foundation/TempDir.h"

namespace quarn {
namespace {

std::vector<std::string> verbs(const std::vector<std::string>& commands) {
  std::vector<std::string> out;
  for (const auto& c : commands) {
    out.push_back(c.substr(0, c.find(' ')));
  }
  return out;
}

class FtpNegotiationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    option_ = std::make_shared<Option>();
    OptionParser::getInstance()->parseDefaultValues(*option_);
    option_->put(PREF_DIR, dir_.path());
    option_->put(PREF_TIMEOUT, "10");
    option_->put(PREF_CONNECT_TIMEOUT, "10");
    option_->put(PREF_MAX_TRIES, "1");
    option_->put(PREF_RETRY_WAIT, "0");
    option_->put(PREF_FTP_REUSE_CONNECTION, "false");
  }

  error_code::Value download(const std::string& uri) {
    return runDownloads(option_, {uri}, paths_)[0];
  }

  TempDir dir_;
  std::shared_ptr<Option> option_;
  std::vector<std::string> paths_;
};

TEST_F(FtpNegotiationTest, NoPasswordWhenUserIsEnough) {
  ScriptedFtpPeer peer("content", {{"USER", "230 welcome\r\n"}});
  ASSERT_EQ(error_code::FINISHED, download(peer.url("/f.bin")));
  EXPECT_EQ("content", readFile(paths_[0]));
  std::vector<std::string> expected = {"USER", "TYPE", "PWD",  "CWD",
                                       "SIZE", "PASV", "REST", "RETR"};
  EXPECT_EQ(expected, verbs(peer.commands()));
}

TEST_F(FtpNegotiationTest, MultiLineRepliesAndABaseDirectory) {
  ScriptedFtpPeer peer("multi",
                       {{"PWD", "257 \"/home/ftp\" here\r\n"},
                        {"PASS", "230-Welcome\r\n230-to the\r\n 230 test\r\n230 in\r\n"}},
                       "220-Hello\r\n220-there\r\n220 ready\r\n");
  ASSERT_EQ(error_code::FINISHED, download(peer.url("/pub/linux/f.bin")));
  EXPECT_EQ("multi", readFile(paths_[0]));
  auto cmds = peer.commands();
  std::vector<std::string> cwds;
  for (const auto& c : cmds) {
    if (c.rfind("CWD ", 0) == 0) {
      cwds.push_back(c);
    }
  }
  EXPECT_EQ((std::vector<std::string>{"CWD /home/ftp", "CWD pub", "CWD linux"}), cwds);
}

TEST_F(FtpNegotiationTest, PassiveReplyNamingAnotherHostIsIgnored) {
  // 127.0.0.2 is loopback too, but nothing listens there.
  ScriptedFtpPeer peer("elsewhere", {}, "220 ready\r\n", "127,0,0,2");
  ASSERT_EQ(error_code::FINISHED, download(peer.url("/f.bin")));
  EXPECT_EQ("elsewhere", readFile(paths_[0]));
}

TEST_F(FtpNegotiationTest, RefusalsAndTheirCodes) {
  struct Case {
    std::map<std::string, std::string> replies;
    std::string greeting;
    error_code::Value code;
    const char* lastVerb;
  } cases[] = {
      {{}, "421 too busy\r\n", error_code::FTP_PROTOCOL_ERROR, nullptr},
      {{{"PASS", "530 no\r\n"}}, "220 ok\r\n", error_code::FTP_PROTOCOL_ERROR, "PASS"},
      {{{"TYPE", "504 no\r\n"}}, "220 ok\r\n", error_code::FTP_PROTOCOL_ERROR, "TYPE"},
      {{{"PWD", "257 no quotes\r\n"}}, "220 ok\r\n", error_code::FTP_PROTOCOL_ERROR, "PWD"},
      {{{"CWD", "550 no such dir\r\n"}}, "220 ok\r\n", error_code::RESOURCE_NOT_FOUND, "CWD"},
      {{{"CWD", "500 what\r\n"}}, "220 ok\r\n", error_code::FTP_PROTOCOL_ERROR, "CWD"},
      {{{"PASV", "500 no\r\n"}}, "220 ok\r\n", error_code::FTP_PROTOCOL_ERROR, "PASV"},
      {{{"RETR", "550 gone\r\n"}}, "220 ok\r\n", error_code::RESOURCE_NOT_FOUND, "RETR"},
      {{{"RETR", "451 local error\r\n"}}, "220 ok\r\n", error_code::FTP_PROTOCOL_ERROR, "RETR"},
  };
  option_->put(PREF_MAX_FILE_NOT_FOUND, "0");
  for (const auto& c : cases) {
    ScriptedFtpPeer peer("x", c.replies, c.greeting);
    EXPECT_EQ(c.code, download(peer.url("/f.bin"))) << c.greeting << c.lastVerb;
    auto v = verbs(peer.commands());
    if (c.lastVerb) {
      ASSERT_FALSE(v.empty());
      EXPECT_EQ(c.lastVerb, v.back());
    } else {
      EXPECT_TRUE(v.empty());
    }
  }
}

TEST_F(FtpNegotiationTest, RemoteTimeAndARefusedMdtm) {
  option_->put(PREF_REMOTE_TIME, "true");
  {
    ScriptedFtpPeer peer("timed", {});
    ASSERT_EQ(error_code::FINISHED, download(peer.url("/f.bin")));
    EXPECT_EQ("timed", readFile(paths_[0]));
  }
  ScriptedFtpPeer peer("untimed", {{"MDTM", "500 no\r\n"}});
  ASSERT_EQ(error_code::FINISHED, download(peer.url("/g.bin")));
  EXPECT_EQ("untimed", readFile(paths_[0]));
}

TEST_F(FtpNegotiationTest, SizeZeroMakesAnEmptyFileWithoutRetr) {
  ScriptedFtpPeer peer("", {});
  ASSERT_EQ(error_code::FINISHED, download(peer.url("/empty.bin")));
  EXPECT_EQ("", readFile(paths_[0]));
  EXPECT_EQ(0, access(paths_[0].c_str(), F_OK));
  for (const auto& v : verbs(peer.commands())) {
    EXPECT_NE("RETR", v);
  }
}

TEST_F(FtpNegotiationTest, DryRunSendsNoRetr) {
  option_->put(PREF_DRY_RUN, "true");
  ScriptedFtpPeer peer("dry", {});
  ASSERT_EQ(error_code::FINISHED, download(peer.url("/f.bin")));
  for (const auto& v : verbs(peer.commands())) {
    EXPECT_NE("RETR", v);
  }
}

}  // namespace
}  // namespace quarn
