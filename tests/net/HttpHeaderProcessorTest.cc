#include "net/HttpHeaderProcessor.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/DlAbortEx.h"

namespace quarn {
namespace {

// The parse error message of a head fed whole, or "" when it parses.
std::string errorOf(const std::string& head,
                    HttpHeaderProcessor::ParserMode mode = HttpHeaderProcessor::RESPONSE_PARSER) {
  HttpHeaderProcessor proc(mode);
  try {
    proc.parse(head);
  } catch (const DlAbortEx& e) {
    return e.what();
  }
  return "";
}

// Everything a parse result holds, as one comparable text.
std::string describe(const HttpHeader& h) {
  std::string out = h.getMethod() + "|" + h.getRequestPath() + "|" + h.getVersion() + "|" +
                    std::to_string(h.getStatusCode()) + "|" + h.getReasonPhrase();
  for (int id = 0; id < HttpHeader::MAX_INTERESTING_HEADER; ++id) {
    for (const auto& v : h.findAll(id)) {
      out += "|" + std::to_string(id) + "=" + v;
    }
  }
  return out;
}

TEST(HttpHeaderProcessorTest, ResponseHeadThenBody) {
  HttpHeaderProcessor proc(HttpHeaderProcessor::RESPONSE_PARSER);
  std::string chunk = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
  ASSERT_TRUE(proc.parse(chunk));
  EXPECT_EQ(chunk.size() - 5, proc.getLastBytesProcessed());
  EXPECT_EQ(chunk.substr(0, chunk.size() - 5), proc.getHeaderString());
  auto h = proc.getResult();
  EXPECT_EQ(200, h->getStatusCode());
  EXPECT_EQ("HTTP/1.1", h->getVersion());
  EXPECT_EQ("OK", h->getReasonPhrase());
  EXPECT_EQ("5", h->find(HttpHeader::CONTENT_LENGTH));
  // A complete processor consumes nothing more.
  EXPECT_TRUE(proc.parse(std::string("more")));
  EXPECT_EQ(0u, proc.getLastBytesProcessed());
}

TEST(HttpHeaderProcessorTest, ByteByByteGivesTheSameResult) {
  const std::pair<HttpHeaderProcessor::ParserMode, std::string> heads[] = {
      {HttpHeaderProcessor::RESPONSE_PARSER,
       "HTTP/1.1 206 Partial  Content \r\nContent-Type: text/html\r\nX-Junk: skipped value\r\n"
       "Set-Cookie: a=b\r\nSet-Cookie: c=d\r\nLocation: http://x/\r\n  continued\r\n"
       "CONTENT-RANGE:   bytes 0-9/10  \r\nLink:\r\n\r\nbody"},
      {HttpHeaderProcessor::RESPONSE_PARSER, "HTTP/1.0 404\nConnection: close\n\n"},
      {HttpHeaderProcessor::REQUEST_PARSER,
       "GET /jsonrpc?x=1 HTTP/1.1\r\nOrigin: http://o\r\nUpgrade: websocket\r\n"
       "Authorization: Basic xyz\r\n\r\n"},
      {HttpHeaderProcessor::REQUEST_PARSER,
       "BT-SEARCH * HTTP/1.1\r\nHost: 239.192.152.143:6771\r\nPort: 6881\r\n"
       "Infohash: 0123456789abcdef0123456789abcdef01234567\r\n\r\n\r\n"},
  };
  for (const auto& [mode, text] : heads) {
    HttpHeaderProcessor whole(mode);
    ASSERT_TRUE(whole.parse(text)) << text;
    size_t headLength = whole.getLastBytesProcessed();
    HttpHeaderProcessor bytewise(mode);
    for (size_t i = 0; i < headLength; ++i) {
      bool done = bytewise.parse(reinterpret_cast<const unsigned char*>(text.data()) + i, 1);
      EXPECT_EQ(i + 1 == headLength, done) << i;
      EXPECT_EQ(1u, bytewise.getLastBytesProcessed());
    }
    EXPECT_EQ(whole.getHeaderString(), bytewise.getHeaderString());
    EXPECT_EQ(describe(*whole.getResult()), describe(*bytewise.getResult())) << text;
  }
}

TEST(HttpHeaderProcessorTest, FieldValuesAndContinuations) {
  HttpHeaderProcessor proc(HttpHeaderProcessor::RESPONSE_PARSER);
  ASSERT_TRUE(
      proc.parse(std::string("HTTP/1.1 200 OK\r\n"
                             "CONTENT-TYPE:   text/plain  \r\n"
                             "Location: x\r\n  y\r\n"
                             "Link: a\r\n\tb\r\n"
                             "Digest:\r\n"
                             "Set-Cookie: one\r\nSet-Cookie: two\r\n"
                             "X-Unknown: dropped\r\n\r\n")));
  EXPECT_NE(std::string::npos, proc.getHeaderString().find("X-Unknown: dropped"));
  auto h = proc.getResult();
  EXPECT_EQ("text/plain", h->find(HttpHeader::CONTENT_TYPE));
  EXPECT_EQ("x y", h->find(HttpHeader::LOCATION));
  EXPECT_EQ("ab", h->find(HttpHeader::LINK));
  EXPECT_TRUE(h->defined(HttpHeader::DIGEST));
  EXPECT_EQ("", h->find(HttpHeader::DIGEST));
  EXPECT_EQ((std::vector<std::string>{"one", "two"}), h->findAll(HttpHeader::SET_COOKIE));
}

TEST(HttpHeaderProcessorTest, StartLines) {
  HttpHeaderProcessor res(HttpHeaderProcessor::RESPONSE_PARSER);
  ASSERT_TRUE(res.parse(std::string("HTTP/1.1 200\n\n")));
  auto h = res.getResult();
  EXPECT_EQ(200, h->getStatusCode());
  EXPECT_EQ("", h->getReasonPhrase());

  HttpHeaderProcessor req(HttpHeaderProcessor::REQUEST_PARSER);
  ASSERT_TRUE(req.parse(std::string("POST  /rpc   HTTP/1.0\r\n\r\n")));
  h = req.getResult();
  EXPECT_EQ("POST", h->getMethod());
  EXPECT_EQ("/rpc", h->getRequestPath());
  EXPECT_EQ("HTTP/1.0", h->getVersion());

  req.clear();
  EXPECT_FALSE(req.parse(std::string("GET / HTTP/1.1\r\n")));
  EXPECT_TRUE(req.parse(std::string("\r\n")));
  EXPECT_EQ("GET / HTTP/1.1\r\n\r\n", req.getHeaderString());
}

TEST(HttpHeaderProcessorTest, MalformedHeadsGiveTheirError) {
  using M = HttpHeaderProcessor::ParserMode;
  const M RES = HttpHeaderProcessor::RESPONSE_PARSER;
  const M REQ = HttpHeaderProcessor::REQUEST_PARSER;
  struct Case {
    M mode;
    const char* head;
    const char* error;
  } cases[] = {
      {RES, "HTTP/1.1 099 X\r\n\r\n", "Bad status code: bad status-code"},
      {RES, "HTTP/1.1 2000 X\r\n\r\n", "Bad status code: bad status-code"},
      {RES, "HTTP/1.1 20x X\r\n\r\n", "Bad status code: bad status-code"},
      {RES, "HTTP/1.1\r\n\r\n", "Bad Status-Line: missing status-code"},
      {RES, "HTTP/1.1 \r\n\r\n", "Bad Status-Line: missing status-code"},
      {RES, " HTTP/1.1 200 OK\r\n\r\n", "Bad Status-Line: missing HTTP-version"},
      {RES, "\r\n", "Bad Status-Line: missing HTTP-version"},
      {REQ, " GET / HTTP/1.1\r\n\r\n", "Bad Request-Line: missing method"},
      {REQ, "GET\r\n", "Bad Request-Line: missing request-target"},
      {REQ, "GET \r\n", "Bad Request-Line: missing request-target"},
      {REQ, "GET /\r\n", "Bad Request-Line: missing HTTP-version"},
      {REQ, "GET / \r\n", "Bad Request-Line: missing HTTP-version"},
      {REQ, "GET / HTTP/1.1 \r\n\r\n", "Bad Request-Line: LWS after HTTP-version"},
      {RES, "HTTP/1.1 200 OK\r\nContent-Length : 5\r\n\r\n", "Bad HTTP header: missing ':'"},
      {RES, "HTTP/1.1 200 OK\r\nName\r\n\r\n", "Bad HTTP header: missing ':'"},
      {RES, "HTTP/1.1 200 OK\r\n: x\r\n\r\n", "Bad HTTP header: field name starts with ':'"},
      {RES, "HTTP/1.1 200 OK\r\n x: y\r\n\r\n", "Bad HTTP header: field name starts with LWS"},
      {RES, "HTTP/1.1 200 OK\rX\r\n\r\n", "Bad HTTP header: missing LF"},
      {RES, "HTTP/1.1 200 OK\r\nA: b\rc\r\n\r\n", "Bad HTTP header: missing LF"},
      {RES, "HTTP/1.1 200 OK\r\n\rX", "Bad HTTP header: missing LF at the end of the header"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.error, errorOf(c.head, c.mode)) << c.head;
  }
}

TEST(HttpHeaderProcessorTest, ErrorLeavesNoProgress) {
  HttpHeaderProcessor proc(HttpHeaderProcessor::RESPONSE_PARSER);
  ASSERT_FALSE(proc.parse(std::string("HTTP/1.1 200 OK\r\n")));
  EXPECT_THROW(proc.parse(std::string("A b\r\n")), DlAbortEx);
  EXPECT_EQ(0u, proc.getLastBytesProcessed());
  EXPECT_EQ("HTTP/1.1 200 OK\r\n", proc.getHeaderString());
}

TEST(HttpHeaderProcessorTest, OversizedFieldsAreRefused) {
  const std::string status = "HTTP/1.1 200 OK\r\n";
  // A chunk that ends inside a long name.
  EXPECT_EQ("Too large HTTP header", errorOf(status + std::string(1025, 'a')));
  EXPECT_EQ("", errorOf(status + std::string(1024, 'a')));
  // A long interesting value still being gathered at the end of the chunk.
  EXPECT_EQ("Too large HTTP header", errorOf(status + "Location: " + std::string(8193, 'v')));
  // Flushed within the chunk: the buffers are empty when the check runs.
  EXPECT_EQ("", errorOf(status + "Location: " + std::string(9000, 'v') + "\r\nX"));
  // An uninteresting value is never gathered.
  EXPECT_EQ("", errorOf(status + "X-Big: " + std::string(20000, 'v')));
}

TEST(HttpHeaderProcessorTest, WholeHeadIsCapped) {
  std::string head = "HTTP/1.1 200 OK\r\n";
  while (head.size() < HttpHeaderProcessor::MAX_HEAD_LENGTH) {
    head += "X-Filler: " + std::string(1000, 'f') + "\r\n";
  }
  std::string error = errorOf(head + "\r\n");
  EXPECT_NE(std::string::npos, error.find("Too large HTTP header")) << error;

  // Fed in small pieces the head is refused as soon as it passes the cap.
  HttpHeaderProcessor proc(HttpHeaderProcessor::RESPONSE_PARSER);
  size_t fed = 0;
  bool threw = false;
  try {
    for (; fed < head.size(); fed += 1000) {
      proc.parse(head.substr(fed, 1000));
    }
  } catch (const DlAbortEx&) {
    threw = true;
  }
  EXPECT_TRUE(threw);
  EXPECT_LE(proc.getHeaderString().size(), HttpHeaderProcessor::MAX_HEAD_LENGTH);

  // A head that ends exactly at the cap is accepted, with the body after it.
  std::string exact = "HTTP/1.1 200 OK\r\nX: ";
  exact += std::string(HttpHeaderProcessor::MAX_HEAD_LENGTH - exact.size() - 4, 'x');
  exact += "\r\n\r\n";
  ASSERT_EQ(HttpHeaderProcessor::MAX_HEAD_LENGTH, exact.size());
  HttpHeaderProcessor fits(HttpHeaderProcessor::RESPONSE_PARSER);
  EXPECT_TRUE(fits.parse(exact + "body"));
  EXPECT_EQ(exact.size(), fits.getLastBytesProcessed());
}

TEST(HttpHeaderProcessorTest, FieldCountIsCapped) {
  std::string head = "HTTP/1.1 200 OK\r\n";
  for (size_t i = 0; i < HttpHeaderProcessor::MAX_FIELDS; ++i) {
    head += "A:\r\n";
  }
  EXPECT_EQ("", errorOf(head + "\r\n"));
  EXPECT_EQ("Too many HTTP header fields: more than 256", errorOf(head + "A:\r\n\r\n"));
}

TEST(HttpHeaderProcessorTest, TransferEncodingDropsContentLengthOnly) {
  HttpHeaderProcessor proc(HttpHeaderProcessor::RESPONSE_PARSER);
  ASSERT_TRUE(
      proc.parse(std::string("HTTP/1.1 206 Partial Content\r\n"
                             "Content-Length: 100\r\n"
                             "Content-Range: bytes 100-199/1000\r\n"
                             "Transfer-Encoding: chunked\r\n\r\n")));
  auto h = proc.getResult();
  EXPECT_FALSE(h->defined(HttpHeader::CONTENT_LENGTH));
  EXPECT_EQ("bytes 100-199/1000", h->find(HttpHeader::CONTENT_RANGE));
  EXPECT_EQ(Range(100, 199, 1000), h->getRange());
}

TEST(HttpHeaderProcessorTest, InterestingHeaderIds) {
  EXPECT_EQ(HttpHeader::ACCEPT_ENCODING, idInterestingHeader("accept-encoding"));
  EXPECT_EQ(HttpHeader::CONTENT_RANGE, idInterestingHeader("content-range"));
  EXPECT_EQ(HttpHeader::UPGRADE, idInterestingHeader("upgrade"));
  EXPECT_EQ(HttpHeader::MAX_INTERESTING_HEADER, idInterestingHeader("Content-Range"));
  EXPECT_EQ(HttpHeader::MAX_INTERESTING_HEADER, idInterestingHeader("zzz"));
  EXPECT_EQ(HttpHeader::MAX_INTERESTING_HEADER, idInterestingHeader(""));
}

}  // namespace
}  // namespace quarn
