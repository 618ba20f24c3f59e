#include "client/auth/AuthConfigFactory.h"

#include <gtest/gtest.h>

#include <string>

#include "client/auth/DefaultAuthResolver.h"
#include "client/auth/DefaultAuthenticator.h"
#include "client/auth/NetrcAuthResolver.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "storage/Request.h"

namespace quarn {
namespace {

std::string describe(const std::unique_ptr<AuthConfig>& a) {
  return a ? a->getAuthText() : "none";
}

std::unique_ptr<Netrc> sampleNetrc() {
  auto netrc = std::make_unique<Netrc>();
  netrc->addAuthenticator(std::make_unique<Authenticator>("host", "nu", "np", ""));
  netrc->addAuthenticator(std::make_unique<DefaultAuthenticator>("du", "dp", ""));
  return netrc;
}

TEST(AuthConfigTest, CreateNeedsUser) {
  EXPECT_FALSE(AuthConfig::create("", "p"));
  EXPECT_EQ("u:", describe(AuthConfig::create("u", "")));
}

TEST(AuthResolverTest, DefaultResolverPrefersUserDefined) {
  DefaultAuthResolver r;
  EXPECT_EQ("none", describe(r.resolveAuthConfig("h")));
  r.setDefaultCred("d", "dp");
  EXPECT_EQ("d:dp", describe(r.resolveAuthConfig("h")));
  r.setUserDefinedCred("u", "up");
  EXPECT_EQ("u:up", describe(r.resolveAuthConfig("h")));
}

TEST(AuthResolverTest, NetrcResolver) {
  auto netrc = sampleNetrc();
  NetrcAuthResolver r;
  r.setDefaultCred("anon", "x");
  EXPECT_EQ("anon:x", describe(r.resolveAuthConfig("host")));
  r.setNetrc(netrc.get());
  EXPECT_EQ("nu:np", describe(r.resolveAuthConfig("host")));
  EXPECT_EQ("du:dp", describe(r.resolveAuthConfig("other")));
  r.ignoreDefault();
  EXPECT_EQ("anon:x", describe(r.resolveAuthConfig("other")));
  r.useDefault();
  r.setUserDefinedCred("u", "p");
  EXPECT_EQ("u:p", describe(r.resolveAuthConfig("host")));
  // An entry with an empty login still gives credentials.
  Netrc empty;
  empty.addAuthenticator(std::make_unique<Authenticator>("h", "", "pw", ""));
  NetrcAuthResolver r2;
  r2.setNetrc(&empty);
  auto a = r2.findNetrcAuthenticator("h");
  ASSERT_TRUE(a);
  EXPECT_EQ(":pw", a->getAuthText());
}

TEST(BasicCredTest, PathIsNormalisedAndOrdered) {
  BasicCred a("u", "p", "h", 80, "");
  EXPECT_EQ("/", a.path);
  BasicCred b("u", "p", "h", 80, "/a");
  EXPECT_EQ("/a/", b.path);
  BasicCred c("x", "y", "h", 80, "/a/");
  EXPECT_TRUE(b == c);
  BasicCred longer("u", "p", "h", 80, "/a/b");
  EXPECT_TRUE(longer < b);
  EXPECT_TRUE(BasicCred("u", "p", "h", 80, "/z") < BasicCred("u", "p", "h", 81, "/"));
  EXPECT_TRUE(BasicCred("u", "p", "a", 90, "/") < BasicCred("u", "p", "h", 80, "/"));
}

class AuthConfigFactoryTest : public ::testing::Test {
 protected:
  AuthConfigFactory factory_;
  Option option_;
};

TEST_F(AuthConfigFactoryTest, FindBasicCredPrefersLongestPath) {
  factory_.updateBasicCred(std::make_unique<BasicCred>("ua", "pa", "h", 80, "/a"));
  factory_.updateBasicCred(std::make_unique<BasicCred>("uab", "pab", "h", 80, "/a/b"));
  factory_.updateBasicCred(std::make_unique<BasicCred>("other", "x", "h", 81, "/"));
  auto found = [&](const std::string& path) {
    auto i = factory_.findBasicCred("h", 80, path);
    return i == factory_.getBasicCreds().end() ? std::string("none") : (*i)->user;
  };
  EXPECT_EQ("uab", found("/a/b/c"));
  EXPECT_EQ("uab", found("/a/b"));
  EXPECT_EQ("ua", found("/a/x"));
  EXPECT_EQ("ua", found("/a"));
  EXPECT_EQ("none", found("/ab"));
  EXPECT_EQ("none", found("/"));
}

TEST_F(AuthConfigFactoryTest, UpdateReplacesCredential) {
  factory_.updateBasicCred(std::make_unique<BasicCred>("u", "old", "h", 80, "/"));
  factory_.updateBasicCred(std::make_unique<BasicCred>("u2", "new", "h", 80, "/", true));
  ASSERT_EQ(1u, factory_.getBasicCreds().size());
  const auto& cred = *factory_.getBasicCreds().begin();
  EXPECT_EQ("u2", cred->user);
  EXPECT_EQ("new", cred->password);
  EXPECT_TRUE(cred->isActivated());
}

TEST_F(AuthConfigFactoryTest, ActivateBasicCred) {
  EXPECT_FALSE(factory_.activateBasicCred("h", 80, "/d", &option_));
  factory_.updateBasicCred(std::make_unique<BasicCred>("u", "p", "h", 80, "/"));
  EXPECT_TRUE(factory_.activateBasicCred("h", 80, "/d", &option_));
  EXPECT_TRUE((*factory_.getBasicCreds().begin())->isActivated());

  option_.put(PREF_HTTP_USER, "ou");
  option_.put(PREF_HTTP_PASSWD, "op");
  EXPECT_TRUE(factory_.activateBasicCred("g", 8080, "/x", &option_));
  auto i = factory_.findBasicCred("g", 8080, "/x/y");
  ASSERT_NE(factory_.getBasicCreds().end(), i);
  EXPECT_EQ("ou", (*i)->user);
  EXPECT_TRUE((*i)->isActivated());
}

TEST_F(AuthConfigFactoryTest, ActivateUsesNetrcMachineButNotDefault) {
  factory_.setNetrc(sampleNetrc());
  EXPECT_TRUE(factory_.activateBasicCred("host", 80, "/", &option_));
  EXPECT_FALSE(factory_.activateBasicCred("other", 80, "/", &option_));
  option_.put(PREF_NO_NETRC, "true");
  EXPECT_FALSE(factory_.activateBasicCred("host", 81, "/", &option_));
}

TEST_F(AuthConfigFactoryTest, Resolvers) {
  factory_.setNetrc(sampleNetrc());
  EXPECT_EQ("none", describe(factory_.createHttpAuthResolver(&option_)->resolveAuthConfig("x")));
  EXPECT_EQ("nu:np",
            describe(factory_.createHttpAuthResolver(&option_)->resolveAuthConfig("host")));
  EXPECT_EQ("du:dp", describe(factory_.createFtpAuthResolver(&option_)->resolveAuthConfig("x")));
  option_.put(PREF_NO_NETRC, "true");
  EXPECT_EQ("none", describe(factory_.createHttpAuthResolver(&option_)->resolveAuthConfig("host")));
  EXPECT_EQ("anonymous:KELP4ANON@",
            describe(factory_.createFtpAuthResolver(&option_)->resolveAuthConfig("host")));
  option_.put(PREF_FTP_USER, "fu");
  option_.put(PREF_FTP_PASSWD, "fp");
  EXPECT_EQ("fu:fp", describe(factory_.createFtpAuthResolver(&option_)->resolveAuthConfig("x")));
}

}  // namespace
}  // namespace quarn

namespace quarn {
namespace {

class CreateAuthConfigTest : public ::testing::Test {
 protected:
  std::string create(const std::string& uri) {
    auto request = std::make_shared<Request>();
    EXPECT_TRUE(request->setUri(uri)) << uri;
    return describe(factory_.createAuthConfig(request, &option_));
  }

  AuthConfigFactory factory_;
  Option option_;
};

TEST_F(CreateAuthConfigTest, HttpFromUriOptionsAndNetrc) {
  EXPECT_EQ("user:", create("http://user@host/"));
  EXPECT_EQ("none", create("http://host/"));
  factory_.setNetrc(sampleNetrc());
  EXPECT_EQ("nu:np", create("https://host/"));
  // The netrc "default" entry is never used for HTTP.
  EXPECT_EQ("none", create("http://other/"));
  option_.put(PREF_HTTP_USER, "ou");
  option_.put(PREF_HTTP_PASSWD, "op");
  EXPECT_EQ("ou:op", create("http://host/"));
  EXPECT_EQ("user:pw", create("http://user:pw@host/"));
  EXPECT_EQ("none", create("gopher://user:pw@host:70/"));
}

TEST_F(CreateAuthConfigTest, HttpAuthChallenge) {
  option_.put(PREF_HTTP_AUTH_CHALLENGE, "true");
  option_.put(PREF_HTTP_USER, "ou");
  EXPECT_EQ("none", create("http://host/dir/f"));
  EXPECT_EQ("user:", create("http://user@host/"));
  auto i = factory_.findBasicCred("host", 80, "/");
  ASSERT_NE(factory_.getBasicCreds().end(), i);
  EXPECT_TRUE((*i)->isActivated());
  // Stored for "/", it now serves every directory of the host and port.
  EXPECT_EQ("user:", create("http://host/dir/f"));
  EXPECT_EQ("none", create("http://host:8080/dir/f"));
  EXPECT_TRUE(factory_.activateBasicCred("host", 8080, "/dir/", &option_));
  EXPECT_EQ("ou:", create("http://host:8080/dir/sub/f"));
}

TEST_F(CreateAuthConfigTest, Ftp) {
  EXPECT_EQ("anonymous:KELP4ANON@", create("ftp://host/f"));
  EXPECT_EQ("anonymous:KELP4ANON@", create("sftp://host/f"));
  auto netrc = std::make_unique<Netrc>();
  netrc->addAuthenticator(std::make_unique<Authenticator>("host", "B", "netrcpw", ""));
  netrc->addAuthenticator(std::make_unique<DefaultAuthenticator>("du", "dp", ""));
  factory_.setNetrc(std::move(netrc));
  option_.put(PREF_FTP_PASSWD, "optpw");
  EXPECT_EQ("B:netrcpw", create("ftp://B@host/f"));
  EXPECT_EQ("C:optpw", create("ftp://C@host/f"));
  EXPECT_EQ("B:", create("ftp://B:@host/f"));
  EXPECT_EQ("B:x", create("sftp://B:x@host/f"));
  EXPECT_EQ("du:dp", create("ftp://other/f"));
  option_.put(PREF_FTP_USER, "fu");
  EXPECT_EQ("fu:optpw", create("ftp://other/f"));
  option_.put(PREF_NO_NETRC, "true");
  EXPECT_EQ("B:optpw", create("ftp://B@host/f"));
}

}  // namespace
}  // namespace quarn
