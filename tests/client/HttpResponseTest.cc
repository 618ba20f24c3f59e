#include "client/HttpResponse.h"

#include <gtest/gtest.h>

#include <string>

#include "client/CookieStorage.h"
#include "client/HttpHeaderProcessor.h"
#include "client/Request.h"
#include "engine/FileEntry.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "storage/ChunkedDecodingStreamFilter.h"
#include "storage/GZipDecodingStreamFilter.h"
#include "storage/Piece.h"
#include "storage/PiecedSegment.h"

namespace quarn {
namespace {

class HttpResponseTest : public ::testing::Test {
 protected:
  // A response with the head text to a request for the URI. With a segment
  // length, the request asks for [start, start + length) of a file of
  // fileLength bytes.
  std::unique_ptr<HttpResponse> make(const std::string& head,
                                     const std::string& uri = "http://host/dir/file",
                                     int64_t fileLength = 0, int64_t start = -1,
                                     int64_t length = 0) {
    HttpHeaderProcessor proc(HttpHeaderProcessor::RESPONSE_PARSER);
    EXPECT_TRUE(proc.parse(head + "\r\n")) << head;
    request_ = std::make_shared<Request>();
    EXPECT_TRUE(request_->setUri(uri));
    auto http = std::make_unique<HttpRequest>();
    http->setRequest(request_);
    http->setFileEntry(std::make_shared<FileEntry>("/tmp/out", fileLength, 0));
    http->setCookieStorage(&cookies_);
    if (start >= 0) {
      http->setSegment(
          std::make_shared<PiecedSegment>(length, std::make_shared<Piece>(start / length, length)));
      http->setEndOffsetOverride(start + length);
    }
    auto res = std::make_unique<HttpResponse>();
    res->setCuid(7);
    res->setHttpHeader(proc.getResult());
    res->setHttpRequest(std::move(http));
    return res;
  }

  // The validation failure as "code:message", or "ok".
  static std::string validation(const HttpResponse& res) {
    try {
      res.validateResponse();
    } catch (const DlAbortEx& e) {
      return std::to_string(e.getErrorCode()) + ":" + e.what();
    }
    return "ok";
  }

  std::shared_ptr<Request> request_;
  CookieStorage cookies_;
};

TEST_F(HttpResponseTest, StatusValidation) {
  struct Case {
    const char* head;
    const char* result;
  } cases[] = {
      {"HTTP/1.1 302 Found\r\n", "22:Got 302 status, but no location header provided."},
      {"HTTP/1.1 302 Found\r\nLocation: /x\r\n", "ok"},
      {"HTTP/1.1 308 Moved\r\nLocation: /x\r\n", "ok"},
      {"HTTP/1.1 305 Use Proxy\r\n", "22:Unexpected status 305"},
      {"HTTP/1.1 201 Created\r\n", "22:Unexpected status 201"},
      {"HTTP/1.1 304 Not Modified\r\n", "22:Got 304 without If-Modified-Since or If-None-Match"},
      {"HTTP/1.1 404 Not Found\r\n", "ok"},
      {"HTTP/1.1 500 Error\r\n", "ok"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n", "ok"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.result, validation(*make(c.head))) << c.head;
  }
  auto res = make("HTTP/1.1 302 Found\r\nLocation: /x\r\n");
  EXPECT_TRUE(res->isRedirect());
  EXPECT_FALSE(make("HTTP/1.1 200 OK\r\nLocation: /x\r\n")->isRedirect());
  res = make("HTTP/1.1 304 Not Modified\r\n");
  res->getHttpRequest()->setIfModifiedSinceHeader("Sat, 01 Jan 2000 00:00:00 GMT");
  EXPECT_EQ("ok", validation(*res));
}

TEST_F(HttpResponseTest, RangeValidation) {
  const std::string wrongRange =
      "8:Invalid range header. Request: 0-99/1000, Response: 100-199/1000";
  struct Case {
    const char* head;
    int64_t start;
    const char* result;
  } cases[] = {
      {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 100-199/1000\r\n", 0, wrongRange.c_str()},
      // A transfer coding does not switch the check off.
      {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 100-199/1000\r\n"
       "Transfer-Encoding: chunked\r\n",
       0, wrongRange.c_str()},
      {"HTTP/1.1 206 Partial\r\nTransfer-Encoding: chunked\r\n"
       "Content-Range: bytes 100-199/1000\r\nContent-Length: 100\r\n",
       0, wrongRange.c_str()},
      {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-99/1000\r\n", 0, "ok"},
      {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-99/1000\r\n"
       "Transfer-Encoding: chunked\r\n",
       0, "ok"},
      // Without a Content-Range a chunked answer starts at byte 0.
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n", 0, "ok"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n", 500,
       "8:Invalid range header. Request: 500-599/1000, Response: 0-0/0"},
      // The server ignored the range.
      {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n", 500,
       "8:Invalid range header. Request: 500-599/1000, Response: 0-999/1000"},
      {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-99/999\r\n", 0,
       "8:Invalid range header. Request: 0-99/1000, Response: 0-99/999"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.result, validation(*make(c.head, "http://host/f", 1000, c.start, 100))) << c.head;
  }
  // The first request of a download carries no segment: anything goes.
  EXPECT_EQ("ok", validation(*make("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n")));
  EXPECT_EQ("ok", validation(*make("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n")));
}

TEST_F(HttpResponseTest, BadContentRangeFailsValidation) {
  auto res = make("HTTP/1.1 206 Partial\r\nContent-Range: bytes 5-x/10\r\n", "http://host/f", 1000,
                  0, 100);
  EXPECT_EQ("1:byte-range-spec must be positive", validation(*res));
  EXPECT_THROW(res->getContentLength(), DlAbortEx);
}

TEST_F(HttpResponseTest, ChunkedHeadsWithBadLengths) {
  // The transfer coding voids Content-Length, so a bad one cannot fail.
  auto res = make("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: -5x\r\n");
  EXPECT_EQ(0, res->getContentLength());
  EXPECT_EQ("ok", validation(*res));
  // A bad Content-Range is still read and refused.
  res = make(
      "HTTP/1.1 206 Partial\r\nTransfer-Encoding: chunked\r\n"
      "Content-Range: bytes 1-x/10\r\n",
      "http://host/f", 1000, 0, 100);
  EXPECT_EQ("1:byte-range-spec must be positive", validation(*res));
  EXPECT_FALSE(make("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked;ext\r\n")
                   ->getTransferEncodingStreamFilter());
}

TEST_F(HttpResponseTest, Redirect) {
  auto res = make("HTTP/1.1 301 Moved\r\nLocation: /new path/x\"y\r\n", "https://host/a/b");
  res->processRedirect();
  EXPECT_EQ("https://host/new%20path/x%22y", request_->getCurrentUri());
  EXPECT_EQ(1, request_->getRedirectCount());

  res = make("HTTP/1.1 301 Moved\r\nLocation: http://u:pw@[::1\r\n", "http://u:pw@host/a");
  try {
    res->processRedirect();
    ADD_FAILURE();
  } catch (const DlRetryEx& e) {
    std::string msg = e.what();
    EXPECT_EQ(0u, msg.find("CUID#7 - Redirect to http://[::1 failed.")) << msg;
    EXPECT_EQ(std::string::npos, msg.find("pw"));
  }
}

TEST_F(HttpResponseTest, DetermineFilename) {
  EXPECT_EQ("a b.txt",
            make("HTTP/1.1 200 OK\r\n", "http://host/dir/a%20b.txt")->determineFilename(false));
  EXPECT_EQ(Request::DEFAULT_FILE,
            make("HTTP/1.1 200 OK\r\n", "http://host/dir/")->determineFilename(false));
  const std::string uri = "http://host/dir/uri.bin";
  EXPECT_EQ("cd.bin",
            make("HTTP/1.1 200 OK\r\nContent-Disposition: attachment; filename=\"cd.bin\"\r\n", uri)
                ->determineFilename(false));
  // A name that would leave the directory is not taken.
  EXPECT_EQ("uri.bin",
            make("HTTP/1.1 200 OK\r\nContent-Disposition: attachment; filename=\"../x\"\r\n", uri)
                ->determineFilename(false));
  // Without a character set the flag decides how the bytes are read.
  const std::string latin1 =
      "HTTP/1.1 200 OK\r\nContent-Disposition: attachment; "
      "filename=\"\xe9.bin\"\r\n";
  EXPECT_EQ("\xc3\xa9.bin", make(latin1, uri)->determineFilename(false));
}

TEST_F(HttpResponseTest, RetrieveCookie) {
  auto res = make(
      "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nSet-Cookie: bad\r\n"
      "Set-Cookie: b=2; Domain=other.example\r\nSet-Cookie: c=3; Path=/\r\n",
      "http://Host/dir/file");
  res->retrieveCookie();
  EXPECT_EQ(2u, cookies_.size());
  Cookie a("a", "", 0, false, "host", true, "/dir/", false, false, 0);
  EXPECT_TRUE(cookies_.contains(a));
}

TEST_F(HttpResponseTest, DecodingFilters) {
  struct Case {
    const char* head;
    bool chunked;
    bool gzip;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: CHUNKED\r\n", true, false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n", false, false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n", false, false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding:\r\n", false, false},
      {"HTTP/1.1 200 OK\r\nContent-Encoding: Deflate\r\n", false, true},
      {"HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n", false, true},
      {"HTTP/1.1 200 OK\r\nContent-Encoding: br\r\n", false, false},
      {"HTTP/1.1 200 OK\r\n", false, false},
  };
  for (const auto& c : cases) {
    auto res = make(c.head);
    auto te = res->getTransferEncodingStreamFilter();
    EXPECT_EQ(c.chunked, te != nullptr) << c.head;
    if (te) {
      EXPECT_TRUE(dynamic_cast<ChunkedDecodingStreamFilter*>(te.get()));
    }
    auto ce = res->getContentEncodingStreamFilter();
    EXPECT_EQ(c.gzip, ce != nullptr) << c.head;
    if (ce) {
      EXPECT_TRUE(dynamic_cast<GZipDecodingStreamFilter*>(ce.get()));
    }
  }
}

TEST_F(HttpResponseTest, HeaderValues) {
  auto res = make(
      "HTTP/1.0 206 Partial\r\nContent-Type:  text/html; charset=UTF-8\r\n"
      "Content-Range: bytes 10-19/100\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
      "Connection: keep-alive\r\n");
  EXPECT_EQ("text/html", res->getContentType());
  EXPECT_EQ(10, res->getContentLength());
  EXPECT_EQ(100, res->getEntityLength());
  EXPECT_EQ(784111777, res->getLastModifiedTime().getTimeFromEpoch());
  EXPECT_TRUE(res->supportsPersistentConnection());
  res = make("HTTP/1.0 200 OK\r\nLast-Modified: whenever\r\n");
  EXPECT_TRUE(res->getLastModifiedTime().bad());
  EXPECT_FALSE(res->supportsPersistentConnection());
  EXPECT_EQ("", res->getContentType());
  EXPECT_EQ(0, make("HTTP/1.1 200 OK\r\n")->getContentLength());
  EXPECT_EQ(0, make("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n")->getContentLength());
  EXPECT_EQ(1, make("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n")->getContentLength());
  HttpResponse empty;
  EXPECT_EQ(0, empty.getContentLength());
  EXPECT_EQ(0, empty.getEntityLength());
}

}  // namespace
}  // namespace quarn
