#include "client/auth/Netrc.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "client/auth/DefaultAuthenticator.h"
#include "foundation/DlAbortEx.h"
#include "foundation/TempDir.h"

namespace quarn {
namespace {

class NetrcTest : public ::testing::Test {
 protected:
  // Parses the text as a netrc file; returns the error message or "".
  std::string parse(const std::string& text) {
    std::string path = dir_.file("netrc");
    std::ofstream(path, std::ios::binary) << text;
    try {
      netrc_.parse(path);
    } catch (const DlAbortEx& e) {
      return e.what();
    }
    return "";
  }

  std::string describe(const std::string& host) const {
    const Authenticator* a = netrc_.findAuthenticator(host);
    if (!a) {
      return "none";
    }
    return a->getMachine() + "|" + a->getLogin() + "|" + a->getPassword() + "|" + a->getAccount();
  }

  TempDir dir_;
  Netrc netrc_;
};

TEST_F(NetrcTest, EntriesOnOneLineOrSpread) {
  ASSERT_EQ("", parse("machine a.example login u1 password p1 account acc\n"
                      "machine\nb.example\n  login\tu2\r\n\n  password p2\n"));
  ASSERT_EQ(2u, netrc_.getAuthenticators().size());
  EXPECT_EQ("a.example|u1|p1|acc", describe("a.example"));
  EXPECT_EQ("b.example|u2|p2|", describe("b.example"));
  EXPECT_EQ("none", describe("c.example"));
}

TEST_F(NetrcTest, DefaultEntryMatchesAllAndShadowsLaterEntries) {
  ASSERT_EQ("", parse("machine a login ua password pa\ndefault login ud password pd\n"
                      "machine b login ub password pb"));
  EXPECT_EQ("a|ua|pa|", describe("a"));
  EXPECT_EQ("|ud|pd|", describe("b"));
  EXPECT_EQ("|ud|pd|", describe("anything"));
  ASSERT_EQ("", parse("default login ud password pd\nmachine a login ua password pa\n"));
  EXPECT_EQ("|ud|pd|", describe("a"));
}

TEST_F(NetrcTest, DomainMachines) {
  ASSERT_EQ("", parse("machine .alpha.beta login u password p\n"));
  EXPECT_NE("none", describe("a.alpha.beta"));
  EXPECT_NE("none", describe("x.y.alpha.beta"));
  EXPECT_EQ("none", describe("alpha.beta"));
  EXPECT_EQ("none", describe("192.0.2.1"));
  EXPECT_EQ("none", describe("A.ALPHA.BETA"));
}

TEST_F(NetrcTest, ParseErrors) {
  EXPECT_EQ("Netrc:parse error. login encountered where 'machine' or 'default' expected.",
            parse("login u machine a\n"));
  EXPECT_EQ("Netrc:parse error. EOF reached where a token expected.", parse("machine a login"));
  EXPECT_EQ("Netrc:parse error. EOF reached where a token expected.", parse("machine\n"));
  Netrc fresh;
  try {
    fresh.parse(dir_.file("missing"));
    ADD_FAILURE();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ("Cannot open file: " + dir_.file("missing"), e.what());
  }
}

TEST_F(NetrcTest, MacroBodiesAreSkipped) {
  ASSERT_EQ("", parse("machine a login ua password pa macdef init\n"
                      "machine evil login x password y\n"
                      "cd /\n"
                      "\n"
                      "machine b login ub password pb\n"));
  ASSERT_EQ(2u, netrc_.getAuthenticators().size());
  EXPECT_EQ("a|ua|pa|", describe("a"));
  EXPECT_EQ("none", describe("evil"));
  EXPECT_EQ("b|ub|pb|", describe("b"));
  // A body that runs to the end of the file.
  ASSERT_EQ("", parse("machine a login ua macdef m\nmachine z\n"));
  EXPECT_EQ("none", describe("z"));
  // The rest of the macro-name line is read as keywords.
  ASSERT_EQ("", parse("machine a macdef m password pw\nbody\n\n"));
  EXPECT_EQ("a||pw|", describe("a"));
}

TEST_F(NetrcTest, CommentsAndUnknownWords) {
  ASSERT_EQ("", parse("# machine hidden login h\n"
                      "machine a port 21 login u password two words\n"
                      "  # not really a comment\n"));
  ASSERT_EQ(1u, netrc_.getAuthenticators().size());
  EXPECT_EQ("a|u|two|", describe("a"));
  EXPECT_EQ("none", describe("hidden"));
}

TEST_F(NetrcTest, ParseReplacesEntries) {
  ASSERT_EQ("", parse("machine a login u\n"));
  ASSERT_EQ("", parse("machine b login u\n"));
  EXPECT_EQ("none", describe("a"));
  EXPECT_EQ(1u, netrc_.getAuthenticators().size());
  ASSERT_EQ("", parse(""));
  EXPECT_TRUE(netrc_.getAuthenticators().empty());
}

TEST(NetrcStoreTest, StoreSkipsNull) {
  Netrc netrc;
  netrc.storeAuthenticator(nullptr);
  netrc.storeAuthenticator(std::make_unique<DefaultAuthenticator>("l", "p", "a"));
  netrc.addAuthenticator(std::make_unique<Authenticator>("m", "l", "p", "a"));
  EXPECT_EQ(2u, netrc.getAuthenticators().size());
  EXPECT_TRUE(netrc.findAuthenticator("x")->getMachine().empty());
}

}  // namespace
}  // namespace quarn
