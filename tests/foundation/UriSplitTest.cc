#include "foundation/uri_split.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace quarn {
namespace {

// The fields of a split as "name=value" words in field order, or "fail".
std::string describe(const std::string& text) {
  uri_split_result res;
  memset(&res, 0xAA, sizeof(res));
  if (uri_split(&res, text.c_str()) != 0) {
    return "fail";
  }
  static const char* names[] = {"scheme", "host", "port", "path",   "query",
                                "frag",   "ui",   "user", "passwd", "base"};
  std::string out;
  for (int f = 0; f < USR_MAX; ++f) {
    if (!(res.field_set & (1 << f))) {
      continue;
    }
    if (!out.empty()) {
      out += ' ';
    }
    out += names[f];
    out += '=';
    if (f == USR_PORT) {
      out += std::to_string(res.port);
    } else {
      out += text.substr(res.fields[f].off, res.fields[f].len);
    }
  }
  if (res.flags & USF_IPV6ADDR) {
    out += " ipv6";
  }
  return out;
}

TEST(UriSplitTest, SplitsIntoFields) {
  struct Case {
    const char* text;
    const char* fields;
  } cases[] = {
      {"http://h/dir/file.txt?x=1#top",
       "scheme=http host=h path=/dir/file.txt query=x=1 frag=top base=file.txt"},
      {"http://h", "scheme=http host=h"},
      {"http://h/", "scheme=http host=h path=/"},
      {"http://h/d/", "scheme=http host=h path=/d/"},
      {"http://h?", "scheme=http host=h query="},
      {"http://h#", "scheme=http host=h frag="},
      {"http://h?#", "scheme=http host=h query= frag="},
      {"http://h/a?b/c", "scheme=http host=h path=/a query=b/c base=a"},
      {"http://h:8080", "scheme=http host=h port=8080"},
      {"http://h:0/", "scheme=http host=h port=0 path=/"},
      {"http://h:65535/", "scheme=http host=h port=65535 path=/"},
      {"http://u@h", "scheme=http host=h ui=u user=u"},
      {"http://u@h:81/x", "scheme=http host=h port=81 path=/x ui=u user=u base=x"},
      {"http://u:p%40w@h:8080", "scheme=http host=h port=8080 ui=u:p%40w user=u passwd=p%40w"},
      {"http://u:@h/", "scheme=http host=h path=/ ui=u: user=u passwd="},
      {"http://u:123@h/", "scheme=http host=h path=/ ui=u:123 user=u passwd=123"},
      {"http://[::1]:80/x", "scheme=http host=::1 port=80 path=/x base=x ipv6"},
      {"http://[::1]", "scheme=http host=::1 ipv6"},
      {"http://u@[::1]/", "scheme=http host=::1 path=/ ui=u user=u ipv6"},
      {"http://u:p@[fe80::1]:9/",
       "scheme=http host=fe80::1 port=9 path=/ ui=u:p user=u passwd=p ipv6"},
      {"ftp://h/a//b", "scheme=ftp host=h path=/a//b base=b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.fields, describe(c.text)) << c.text;
  }
}

TEST(UriSplitTest, RejectsMalformedTexts) {
  const char* cases[] = {
      "",
      "http",
      "http:",
      "http:/a",
      "h/x",
      "http://",
      "http:///x",
      "http://:80",
      "http://@h",
      "http://h:65536/",
      "http://h:/",
      "http://h:",
      "http://u@",
      "http://u:p@",
      "http://[]/",
      "http://[::1",
      "http://[::1]x",
      "http://[::1]:",
      "http://h:8a/",
      "http://h:1[",
      "http://u@/x",
      "http://u@:80/",
      "http://x[::1]/",
      "http://u@h:99999/",
      "http://h:80x",
  };
  for (const char* text : cases) {
    EXPECT_EQ(-1, uri_split(nullptr, text)) << text;
    EXPECT_EQ("fail", describe(text)) << text;
  }
}

TEST(UriSplitTest, ValidityCheckWithoutResult) {
  EXPECT_EQ(0, uri_split(nullptr, "http://h/"));
}

TEST(UriSplitTest, StopsAtNul) {
  std::string text("http://h/a\0b", 12);
  uri_split_result res;
  ASSERT_EQ(0, uri_split(&res, text.c_str()));
  EXPECT_EQ(2, res.fields[USR_PATH].len);
}

// Offsets of a text this long no longer fit the 16-bit fields; such a text
// must be refused rather than split with wrapped offsets.
TEST(UriSplitTest, RefusesTextsTooLongForOffsets) {
  std::string prefix = "http://h/";
  std::string longest = prefix + std::string(URI_SPLIT_MAX_LENGTH - 1 - prefix.size(), 'a');
  uri_split_result res;
  ASSERT_EQ(0, uri_split(&res, longest.c_str()));
  EXPECT_EQ(longest.size() - 8, res.fields[USR_PATH].len);
  EXPECT_EQ(-1, uri_split(&res, (longest + "a").c_str()));
  EXPECT_EQ(-1, uri_split(nullptr, (longest + "?q=" + std::string(70000, 'b')).c_str()));
}

}  // namespace
}  // namespace quarn
