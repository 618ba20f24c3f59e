#include "foundation/uri.h"

#include <gtest/gtest.h>

#include <string>

namespace quarn {
namespace {

TEST(UriTest, ParseFillsStructure) {
  uri::UriStruct us;
  ASSERT_TRUE(uri::parse(us, "http://h/dir/file.txt?x=1#top"));
  EXPECT_EQ("http", us.protocol);
  EXPECT_EQ("h", us.host);
  EXPECT_EQ(80, us.port);
  EXPECT_EQ("/dir/", us.dir);
  EXPECT_EQ("file.txt", us.file);
  EXPECT_EQ("?x=1", us.query);
  EXPECT_EQ("", us.username);
  EXPECT_FALSE(us.hasPassword);
  EXPECT_FALSE(us.ipv6LiteralAddress);
}

TEST(UriTest, ParseDecodesUserInformation) {
  uri::UriStruct us;
  ASSERT_TRUE(uri::parse(us, "http://user:p%40ss@h:8080"));
  EXPECT_EQ("user", us.username);
  EXPECT_EQ("p@ss", us.password);
  EXPECT_TRUE(us.hasPassword);
  EXPECT_EQ("h", us.host);
  EXPECT_EQ(8080, us.port);
  EXPECT_EQ("/", us.dir);
  EXPECT_EQ("", us.file);

  ASSERT_TRUE(uri::parse(us, "http://u@h"));
  EXPECT_EQ("u", us.username);
  EXPECT_FALSE(us.hasPassword);
  EXPECT_EQ("/", us.dir);

  ASSERT_TRUE(uri::parse(us, "ftp://u:@h/d/"));
  EXPECT_TRUE(us.hasPassword);
  EXPECT_EQ("", us.password);
  EXPECT_EQ("/d/", us.dir);
  EXPECT_EQ("", us.file);
  EXPECT_EQ(21, us.port);
}

TEST(UriTest, ParseQueryWithoutText) {
  uri::UriStruct us;
  ASSERT_TRUE(uri::parse(us, "https://h?"));
  EXPECT_EQ("?", us.query);
  EXPECT_EQ(443, us.port);
}

TEST(UriTest, ParsePorts) {
  struct Case {
    const char* text;
    bool ok;
    uint16_t port;
  } cases[] = {
      {"http://h:0/", true, 80}, {"foo://h/", false, 0},  {"foo://h:99/", true, 99},
      {"HTTP://h/", false, 0},   {"sftp://h/", true, 22}, {"http://h:65536/", false, 0},
      {"http://h:/", false, 0},  {"http://u@", false, 0}, {"http:/a", false, 0},
      {"h/x", false, 0},
  };
  for (const auto& c : cases) {
    uri::UriStruct us;
    EXPECT_EQ(c.ok, uri::parse(us, c.text)) << c.text;
    if (c.ok) {
      EXPECT_EQ(c.port, us.port) << c.text;
    }
  }
}

TEST(UriTest, FailedParseLeavesStructureUntouched) {
  uri::UriStruct us;
  us.host = "keep";
  EXPECT_FALSE(uri::parse(us, "foo://h/"));
  EXPECT_EQ("keep", us.host);
}

TEST(UriTest, ConstructWritesBack) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"http://[::1]:80/x", "http://[::1]/x"},
      {"http://h:8080/a/b?q", "http://h:8080/a/b?q"},
      {"http://user:p%40ss@h/", "http://user:p%40ss@h/"},
      {"ftp://u:@h/", "ftp://u:@h/"},
      {"https://h", "https://h/"},
      {"https://h:80/f", "https://h:80/f"},
  };
  for (const auto& c : cases) {
    uri::UriStruct us;
    ASSERT_TRUE(uri::parse(us, c.in)) << c.in;
    EXPECT_EQ(c.out, uri::construct(us)) << c.in;
  }
}

TEST(UriTest, ConstructOmitsPasswordWithoutUser) {
  uri::UriStruct us;
  us.protocol = "http";
  us.host = "h";
  us.password = "secret";
  us.hasPassword = true;
  EXPECT_EQ("http://h/", uri::construct(us));
  us.dir = "/d";
  EXPECT_EQ("http://h/d/", uri::construct(us));
}

TEST(UriTest, SwapExchangesAllMembers) {
  uri::UriStruct a, b;
  ASSERT_TRUE(uri::parse(a, "http://u:p@[::1]:81/d/f?q"));
  uri::UriStruct copy = a;
  uri::swap(a, b);
  EXPECT_EQ("", a.host);
  EXPECT_EQ(0, a.port);
  EXPECT_FALSE(a.hasPassword);
  EXPECT_EQ(uri::construct(copy), uri::construct(b));
  EXPECT_TRUE(b.ipv6LiteralAddress);
}

TEST(UriTest, GetFieldString) {
  const char* text = "http://h/p?q";
  uri_split_result res;
  ASSERT_EQ(0, uri_split(&res, text));
  EXPECT_EQ("q", uri::getFieldString(res, USR_QUERY, text));
  EXPECT_EQ("", uri::getFieldString(res, USR_FRAGMENT, text));
}

TEST(UriTest, NormalizePath) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"/a/./b/../c", "/a/c"},
      {"/a//b/", "/a/b/"},
      {"/../a", "/a"},
      {"/a/b/..", "/a/"},
      {"../a", "a"},
      {".", ""},
      {"/", "/"},
      {"", ""},
      {"/.x/..y/.../", "/.x/..y/.../"},
      {"a/b/../../..", ""},
      {"//a", "/a"},
      {"/a/.", "/a/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.out, uri::normalizePath(c.in)) << c.in;
  }
}

TEST(UriTest, JoinPath) {
  EXPECT_EQ("/base", uri::joinPath("/base", ""));
  EXPECT_EQ("/x/y", uri::joinPath("/a/", "/x/./y"));
  EXPECT_EQ("a/b", uri::joinPath("", "a/./b"));
  EXPECT_EQ("/a/b", uri::joinPath("/a", "b"));
  EXPECT_EQ("/b", uri::joinPath("/a/", "../b"));
}

TEST(UriTest, JoinUri) {
  struct Case {
    const char* base;
    const char* ref;
    const char* out;
  } cases[] = {
      {"http://h/d/f.html", "g.html", "http://h/d/g.html"},
      {"http://h/d/f.html", "/x/y", "http://h/x/y"},
      {"http://h/d/f.html", "../up", "http://h/up"},
      {"http://h/d/f.html", "?q=1#frag", "http://h/d/?q=1"},
      {"http://h/d/f.html", "ftp://g/z", "ftp://g/z"},
      {"http://h/d/f.html", "//g/p", "http://h/g/p"},
      {"http://u:p@h:81/d/", "e?x#y", "http://u:p@h:81/d/e?x"},
      {"not a uri", "g.html", "g.html"},
      {"http://h/d/f.html", "", "http://h/d/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.out, uri::joinUri(c.base, c.ref)) << c.base << " + " << c.ref;
  }
}

}  // namespace
}  // namespace quarn
