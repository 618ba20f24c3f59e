#include "storage/Request.h"

#include <gtest/gtest.h>

#include "storage/PeerStat.h"

namespace quarn {
namespace {

TEST(RequestTest, NewRequest) {
  Request req;
  EXPECT_EQ("GET", req.getMethod());
  EXPECT_TRUE(req.isPersistentConnection());
  EXPECT_FALSE(req.isKeepAliveEnabled());
  EXPECT_FALSE(req.isPipeliningEnabled());
  EXPECT_EQ(1, req.getMaxPipelinedRequest());
  EXPECT_FALSE(req.getPeerStat());
  EXPECT_FALSE(req.removalRequested());
  req.setKeepAliveHint(true);
  EXPECT_TRUE(req.isKeepAliveEnabled());
  req.setPipeliningHint(true);
  EXPECT_TRUE(req.isPipeliningEnabled());
  req.supportsPersistentConnection(false);
  EXPECT_FALSE(req.isKeepAliveEnabled());
  EXPECT_FALSE(req.isPipeliningEnabled());
}

TEST(RequestTest, SetUriCutsTheFragment) {
  Request req;
  ASSERT_TRUE(req.setUri("http://u:p@host:8080/dir/file.txt?q=1#frag"));
  EXPECT_EQ("http://u:p@host:8080/dir/file.txt?q=1#frag", req.getUri());
  EXPECT_EQ("http://u:p@host:8080/dir/file.txt?q=1", req.getCurrentUri());
  EXPECT_EQ("http", req.getProtocol());
  EXPECT_EQ("host", req.getHost());
  EXPECT_EQ(8080, req.getPort());
  EXPECT_EQ("/dir/", req.getDir());
  EXPECT_EQ("file.txt", req.getFile());
  EXPECT_EQ("?q=1", req.getQuery());
  EXPECT_EQ("u", req.getUsername());
  EXPECT_EQ("p", req.getPassword());
  EXPECT_TRUE(req.hasPassword());
}

TEST(RequestTest, BadUriKeepsEarlierParts) {
  Request fresh;
  EXPECT_FALSE(fresh.setUri("#http://host/"));
  EXPECT_EQ("", fresh.getCurrentUri());
  EXPECT_EQ("", fresh.getHost());

  Request req;
  ASSERT_TRUE(req.setUri("http://host/a"));
  EXPECT_FALSE(req.setUri("not a uri"));
  EXPECT_EQ("not a uri", req.getCurrentUri());
  EXPECT_EQ("host", req.getHost());
}

TEST(RequestTest, Redirects) {
  struct Case {
    const char* base;
    const char* target;
    const char* result;
  } cases[] = {
      {"https://host/dir/f", "//other/x", "https://other/x"},
      {"http://host/dir/f", "ftp://other/x", "ftp://other/x"},
      {"http://host/dir/f", "svn+ssh.1-2://h/x", "svn+ssh.1-2://h/x"},
      {"http://host/dir/f", "g", "http://host/dir/g"},
      {"http://host/dir/f", "/abs", "http://host/abs"},
      {"http://host/dir/f#x", "g#y", "http://host/dir/g"},
  };
  for (const auto& c : cases) {
    Request req;
    ASSERT_TRUE(req.setUri(c.base));
    req.redirectUri(c.target);
    EXPECT_EQ(c.result, req.getCurrentUri()) << c.target;
    EXPECT_EQ(c.base, req.getUri());
    EXPECT_EQ(1, req.getRedirectCount());
  }
  // A scheme part with an underscore makes the whole target relative.
  Request req;
  ASSERT_TRUE(req.setUri("http://host/dir/f"));
  req.redirectUri("a_b://x/y");
  EXPECT_EQ("http", req.getProtocol());
  EXPECT_EQ("host", req.getHost());
  EXPECT_NE(std::string::npos, req.getCurrentUri().find("a_b:"));
}

TEST(RequestTest, RedirectsAwayFromTheGivenOrigin) {
  struct Case {
    const char* base;
    const char* target;
    bool host;
    bool origin;
  } cases[] = {
      {"http://host/a", "/b", true, true},
      {"http://host/a", "http://host:80/b", true, true},
      {"http://host/a", "http://host:8080/b", true, false},
      {"http://host/a", "http://other/b", false, false},
      {"https://host/a", "http://host/b", true, false},
      {"https://host/a", "https://host:443/b", true, true},
      {"http://host/a", "https://host:80/b", true, true},
  };
  for (const auto& c : cases) {
    Request req;
    ASSERT_TRUE(req.setUri(c.base));
    EXPECT_TRUE(req.onGivenOrigin());
    req.redirectUri(c.target);
    EXPECT_EQ(c.host, req.onGivenHost()) << c.base << " -> " << c.target;
    EXPECT_EQ(c.origin, req.onGivenOrigin()) << c.base << " -> " << c.target;
    req.resetUri();
    EXPECT_TRUE(req.onGivenOrigin());
  }
}

TEST(RequestTest, EmptyRedirectStillCounts) {
  Request req;
  ASSERT_TRUE(req.setUri("http://host/"));
  req.supportsPersistentConnection(false);
  EXPECT_FALSE(req.redirectUri(""));
  EXPECT_EQ(1, req.getRedirectCount());
  EXPECT_TRUE(req.isPersistentConnection());
  req.resetRedirectCount();
  EXPECT_EQ(0, req.getRedirectCount());
}

TEST(RequestTest, ResetUriUndoesRedirects) {
  Request req;
  ASSERT_TRUE(req.setUri("http://host/a"));
  req.setConnectedAddrInfo("proxy", "192.0.2.1", 3128);
  req.redirectUri("http://other/b");
  req.redirectUri("c");
  EXPECT_EQ("http://other/c", req.getCurrentUri());
  EXPECT_TRUE(req.resetUri());
  EXPECT_EQ("http://host/a", req.getCurrentUri());
  EXPECT_EQ("host", req.getHost());
  EXPECT_EQ("", req.getConnectedHostname());
  EXPECT_EQ("", req.getConnectedAddr());
  EXPECT_EQ(0, req.getConnectedPort());
}

TEST(RequestTest, UriHostAndReferer) {
  Request req;
  ASSERT_TRUE(req.setUri("http://[2001:db8::1]:8080/"));
  EXPECT_EQ("2001:db8::1", req.getHost());
  EXPECT_EQ("[2001:db8::1]", req.getURIHost());
  ASSERT_TRUE(req.setUri("http://host/"));
  EXPECT_EQ("host", req.getURIHost());
  req.setReferer("http://ref/page#section");
  EXPECT_EQ("http://ref/page", req.getReferer());
}

TEST(RequestTest, PeerStatUsesTheOriginalUri) {
  Request req;
  ASSERT_TRUE(req.setUri("https://first.example/x"));
  req.redirectUri("http://second.example/y");
  req.initPeerStat();
  ASSERT_TRUE(req.getPeerStat());
  EXPECT_EQ("first.example", req.getPeerStat()->getHostname());
  EXPECT_EQ("https", req.getPeerStat()->getProtocol());
  EXPECT_EQ(0, req.getPeerStat()->getCuid());
}

}  // namespace
}  // namespace quarn
