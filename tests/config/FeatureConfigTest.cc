#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "config/feature_config.h"

namespace quarn {

TEST(FeatureConfigTest, DefaultPorts) {
  EXPECT_EQ(80, getDefaultPort("http"));
  EXPECT_EQ(443, getDefaultPort("https"));
  EXPECT_EQ(21, getDefaultPort("ftp"));
  EXPECT_EQ(22, getDefaultPort("sftp"));
  EXPECT_EQ(0, getDefaultPort("HTTP"));
  EXPECT_EQ(0, getDefaultPort("gopher"));
  EXPECT_EQ(0, getDefaultPort(""));
}

TEST(FeatureConfigTest, Features) {
  EXPECT_EQ(
      "Async DNS, BitTorrent, Firefox3 Cookie, GZip, HTTPS, Message Digest, Metalink, XML-RPC, "
      "SFTP",
      featureSummary());
  EXPECT_STREQ("Async DNS", strSupportedFeature(0));
  EXPECT_STREQ("SFTP", strSupportedFeature(8));
  EXPECT_EQ(nullptr, strSupportedFeature(9));
  EXPECT_EQ(nullptr, strSupportedFeature(-1));
}

TEST(FeatureConfigTest, BuildDescription) {
  EXPECT_TRUE(std::regex_match(
      usedLibs(), std::regex("zlib/\\S+ libxml2/\\S+ sqlite3/\\S+ OpenSSL/\\d+\\.\\d+\\.\\d+\\S* "
                             "c-ares/\\S+ libssh2/\\S+")))
      << usedLibs();
  auto compiler = usedCompilerAndPlatform();
  EXPECT_EQ(2, std::count(compiler.begin(), compiler.end(), '\n'));
  EXPECT_NE(std::string::npos, compiler.find("\n  built by  "));
  EXPECT_NE(std::string::npos, compiler.find("\n  on        "));
  EXPECT_NE(std::string::npos, getOperatingSystemInfo().find("Linux"));
}

}  // namespace quarn
