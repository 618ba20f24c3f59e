#include <gtest/gtest.h>

#include "foundation/util_content_disposition.h"

namespace quarn {

namespace {

struct Parsed {
  ssize_t result;
  std::string name;
  std::string charset;
};

Parsed parse(const std::string& header, bool defaultUTF8 = false, size_t destlen = 1024) {
  std::string dest(destlen, '\0');
  const char* charset = reinterpret_cast<const char*>(1);
  size_t charsetLength = 99;
  ssize_t r = util::parse_content_disposition(dest.data(), destlen, &charset, &charsetLength,
                                              header.data(), header.size(), defaultUTF8);
  Parsed parsed{r, r > 0 ? dest.substr(0, r) : "", ""};
  if (charset) {
    parsed.charset.assign(charset, charsetLength);
  } else {
    EXPECT_EQ(0u, charsetLength);
  }
  return parsed;
}

}  // namespace

TEST(ContentDispositionTest, ParserTable) {
  struct Case {
    const char* header;
    bool defaultUTF8;
    ssize_t result;
    const char* name;
    const char* charset;
  } cases[] = {
      {"", false, 0, "", ""},
      {"attachment", false, 0, "", ""},
      {"  inline  ", false, 0, "", ""},
      {"attachment; filename=foo.html", false, 8, "foo.html", ""},
      {"attachment; filename=\"a b.txt\"", false, 7, "a b.txt", ""},
      {"attachment; FileName = \"x\" ; size=3", false, 1, "x", ""},
      {"attachment; filename  =a.txt", false, 5, "a.txt", ""},
      {"attachment; filename=foo.html; filename*=UTF-8''%e2%82%ac.html", false, 8,
       "\xe2\x82\xac.html", "UTF-8"},
      {"attachment; filename*=UTF-8''%e2%82%ac.html; filename=foo.html", false, 8,
       "\xe2\x82\xac.html", "UTF-8"},
      {"attachment; filename*=iso-8859-1'en'%E4.txt", false, 5, "\xe4.txt", "iso-8859-1"},
      {"attachment; filename*=iso-8859-1''%E4; title*=utf-8''x", false, 1, "\xe4", "iso-8859-1"},
      {"attachment; filename*=x-other''%80%ff", false, 2, "\x80\xff", "x-other"},
      {"attachment; filename=\"a\\\"b\"", false, 3, "a\"b", ""},
      {"attachment; filename=\"a\\\\b\"", false, 3, "a\\b", ""},
      {"attachment; filename=\"caf\xe9\"", false, 4, "caf\xe9", ""},
      {"attachment; filename=\"caf\xc3\xa9\"", true, 5, "caf\xc3\xa9", ""},
      {"attachment; title=\"t\"; filename=a", false, 1, "a", ""},
      {"attachment; *=x; filename=a", false, 1, "a", ""},
      // Errors.
      {"attachment; filename=a; filename=b", false, -1, "", ""},
      {"attachment; filename*=UTF-8''a; filename*=UTF-8''b", false, -1, "", "UTF-8"},
      {"attachment;", false, -1, "", ""},
      {"attachment; filename", false, -1, "", ""},
      {"attachment; filename=", false, -1, "", ""},
      {"attachment; filename=\"open", false, -1, "", ""},
      {"inline; filename*=utf-8''%C3", false, -1, "", "utf-8"},
      {"inline; filename*=utf-8''%C3 ", false, -1, "", "utf-8"},
      {"inline; filename*=utf-8''%C3%28", false, -1, "", "utf-8"},
      {"inline; filename*=utf-8''\xc3", false, -1, "", "utf-8"},
      {"inline; filename*=iso-8859-1''%7F", false, -1, "", "iso-8859-1"},
      {"inline; filename*=utf-8''%4", false, -1, "", "utf-8"},
      {"inline; filename*=utf-8''%zz", false, -1, "", "utf-8"},
      {"inline; filename*=utf-8''a*b", false, -1, "", "utf-8"},
      {"inline; filename*=''a", false, -1, "", ""},
      {"inline; filename*=utf-8'e n'a", false, -1, "", "utf-8"},
      {"inline; filename*=utf-8", false, -1, "", ""},
      {"attachment; filename=\"caf\x85\"", false, -1, "", ""},
      {"attachment; filename=\"caf\xc3\"", true, -1, "", ""},
      {"attachment; filename=\"caf\xff\"", true, -1, "", ""},
      {"attach ment", false, -1, "", ""},
      {"attachment; filename=a b", false, -1, "", ""},
      {"=attachment", false, -1, "", ""},
      {"attachment; x*=\"q\"", false, -1, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    Parsed parsed = parse(c.header, c.defaultUTF8);
    EXPECT_EQ(c.result, parsed.result);
    if (c.result >= 0) {
      EXPECT_EQ(c.name, parsed.name);
    }
    EXPECT_EQ(c.charset, parsed.charset);
  }
}

TEST(ContentDispositionTest, NameMustFitTheBuffer) {
  EXPECT_EQ(4, parse("attachment; filename=abcd", false, 4).result);
  EXPECT_EQ(-1, parse("attachment; filename=abcde", false, 4).result);
  EXPECT_EQ(-1, parse("attachment; filename=\"abcde\"", false, 4).result);
  EXPECT_EQ(-1, parse("attachment; filename*=utf-8''abcd%41", false, 4).result);
  EXPECT_EQ(4, parse("attachment; filename*=utf-8''abc%41", false, 4).result);
  // Other parameters are checked but never stored.
  EXPECT_EQ(1, parse("attachment; title=abcdefgh; filename=a", false, 4).result);
}

TEST(ContentDispositionTest, FileName) {
  struct Case {
    const char* header;
    bool defaultUTF8;
    const char* expected;
  } cases[] = {
      {"attachment; filename=\"a b.txt\"", false, "a b.txt"},
      {"attachment; filename=foo.html; filename*=UTF-8''%e2%82%ac.html", false,
       "\xe2\x82\xac.html"},
      {"attachment; filename*=iso-8859-1''%E4.txt", false, "\xc3\xa4.txt"},
      {"attachment; filename*=ISO-8859-1''%E4.txt", true, "\xc3\xa4.txt"},
      {"attachment; filename*=iso-8859-1''%E4; title*=utf-8''x", false, "\xc3\xa4"},
      {"attachment; filename=\"caf\xe9\"", false, "caf\xc3\xa9"},
      {"attachment; filename=\"caf\xc3\xa9\"", true, "caf\xc3\xa9"},
      {"attachment; filename*=x-other''%E4", false, "\xe4"},
      {"attachment; filename=\"a\\\"b\"", false, "a\"b"},
      {"attachment; filename=\"a\\\\b\"", false, ""},
      {"attachment; filename=a; filename=b", false, ""},
      {"attachment;", false, ""},
      {"attachment; filename", false, ""},
      {"attachment; filename=../etc", false, ""},
      {"attachment; filename=a/b", false, ""},
      {"attachment; filename=..", false, ""},
      {"attachment; filename*=utf-8''%2Fetc%2Fpasswd", false, ""},
      {"attachment; filename*=utf-8''a%5Cb", false, ""},
      {"attachment; filename*=utf-8''a%0Ab", false, ""},
      {"inline; filename*=utf-8''%C3", false, ""},
      {"attachment", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    EXPECT_EQ(c.expected, util::getContentDispositionFilename(c.header, c.defaultUTF8));
  }
  std::string longName(1025, 'a');
  EXPECT_EQ("", util::getContentDispositionFilename("attachment; filename=" + longName, false));
  longName.pop_back();
  EXPECT_EQ(longName,
            util::getContentDispositionFilename("attachment; filename=" + longName, false));
}

TEST(ContentDispositionTest, Utf8DecoderTable) {
  auto accepts = [](const std::string& s) {
    uint32_t state = util::UTF8_ACCEPT;
    for (unsigned char c : s) {
      state = util::utf8d[256 + state + util::utf8d[c]];
      if (state == util::UTF8_REJECT) {
        return false;
      }
    }
    return state == util::UTF8_ACCEPT;
  };
  EXPECT_TRUE(accepts("a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"));
  EXPECT_FALSE(accepts("\xc0\x80"));          // overlong
  EXPECT_FALSE(accepts("\xed\xa0\x80"));      // surrogate
  EXPECT_FALSE(accepts("\xf4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(accepts("\xe2\x82"));          // incomplete
  EXPECT_FALSE(accepts("\x80"));
}

}  // namespace quarn
