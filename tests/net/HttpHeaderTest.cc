#include "net/HttpHeader.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/DlAbortEx.h"

namespace quarn {
namespace {

HttpHeader withRange(const std::string& contentRange, const std::string& contentLength = "") {
  HttpHeader h;
  h.put(HttpHeader::CONTENT_RANGE, contentRange);
  if (!contentLength.empty()) {
    h.put(HttpHeader::CONTENT_LENGTH, contentLength);
  }
  return h;
}

TEST(HttpHeaderTest, EntriesKeepTheirOrder) {
  HttpHeader h;
  h.put(HttpHeader::SET_COOKIE, "a");
  h.put(HttpHeader::LINK, "l");
  h.put(HttpHeader::SET_COOKIE, "b");
  EXPECT_EQ("a", h.find(HttpHeader::SET_COOKIE));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), h.findAll(HttpHeader::SET_COOKIE));
  auto [first, last] = h.equalRange(HttpHeader::SET_COOKIE);
  EXPECT_EQ(2, std::distance(first, last));
  h.remove(HttpHeader::SET_COOKIE);
  EXPECT_FALSE(h.defined(HttpHeader::SET_COOKIE));
  EXPECT_EQ("", h.find(HttpHeader::SET_COOKIE));
  h.setStatusCode(200);
  h.clearField();
  EXPECT_FALSE(h.defined(HttpHeader::LINK));
  EXPECT_EQ(200, h.getStatusCode());
}

TEST(HttpHeaderTest, RangeFromContentRange) {
  struct Case {
    const char* value;
    Range range;
  } cases[] = {
      {"bytes 0-99/200", Range(0, 99, 200)},
      {"bytes=0-99/200", Range(0, 99, 200)},
      {"bytes  \t0-99/200", Range(0, 99, 200)},
      {"0-99/200", Range(0, 99, 200)},
      {"bytes 0-99/*", Range()},
      {"bytes */200", Range()},
      {"bytes 0-99", Range()},
      {"bytes 0-99/", Range()},
      {"bytes 099/200", Range()},
      {"bytes ", Range()},
      {"bytes 5-4/10", Range(5, 4, 10)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.range, withRange(c.value).getRange()) << c.value;
  }
}

TEST(HttpHeaderTest, BadRangesThrow) {
  for (const char* value : {"bytes 5-x/10", "bytes -1-5/10", "bytes 1-5/-10", "bytes 1-5/1x",
                            "bytes 1-99999999999999999999/10"}) {
    try {
      withRange(value).getRange();
      ADD_FAILURE() << value;
    } catch (const DlAbortEx& e) {
      EXPECT_STREQ("byte-range-spec must be positive", e.what());
    }
  }
  for (const char* value : {"-1", "1x", "x"}) {
    try {
      withRange("", value).getRange();
      ADD_FAILURE() << value;
    } catch (const DlAbortEx& e) {
      EXPECT_STREQ("Content-Length must be positive integer", e.what());
    }
  }
}

TEST(HttpHeaderTest, RangeFromContentLength) {
  EXPECT_EQ(Range(), HttpHeader().getRange());
  EXPECT_EQ(Range(), withRange("", "0").getRange());
  EXPECT_EQ(Range(0, 9, 10), withRange("", "10").getRange());
  EXPECT_EQ(100, withRange("bytes 0-99/200").getRange().getContentLength());
  EXPECT_EQ(0, Range(5, 4, 10).getContentLength());
}

TEST(HttpHeaderTest, KeepAlive) {
  struct Case {
    const char* version;
    const char* connection;
    bool keepAlive;
  } cases[] = {
      {"HTTP/1.1", nullptr, true},  {"HTTP/1.0", nullptr, false}, {"HTTP/1.0", "Keep-Alive", true},
      {"HTTP/1.1", "Close", false}, {"HTTP/1.0", "close", false}, {"HTTP/1.1", "upgrade", true},
  };
  for (const auto& c : cases) {
    HttpHeader h;
    h.setVersion(c.version);
    if (c.connection) {
      h.put(HttpHeader::CONNECTION, c.connection);
    }
    EXPECT_EQ(c.keepAlive, h.isKeepAlive())
        << c.version << " " << (c.connection ? c.connection : "");
  }
}

TEST(HttpHeaderTest, FieldContainsToken) {
  HttpHeader h;
  h.put(HttpHeader::CONNECTION, "keep-alive, Upgrade");
  h.put(HttpHeader::TRANSFER_ENCODING, "a,,b");
  EXPECT_TRUE(h.fieldContains(HttpHeader::CONNECTION, "upgrade"));
  EXPECT_TRUE(h.fieldContains(HttpHeader::CONNECTION, "keep-alive"));
  EXPECT_FALSE(h.fieldContains(HttpHeader::CONNECTION, "keep"));
  EXPECT_TRUE(h.fieldContains(HttpHeader::TRANSFER_ENCODING, "b"));
  EXPECT_FALSE(h.fieldContains(HttpHeader::TRANSFER_ENCODING, ""));
  EXPECT_FALSE(h.fieldContains(HttpHeader::UPGRADE, "x"));
}

}  // namespace
}  // namespace quarn
