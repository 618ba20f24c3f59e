#include "client/http/HttpResponse.h"

#include <gtest/gtest.h>

#include <string>

#include "client/cookie/CookieStorage.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "foundation/MessageDigest.h"
#include "foundation/base64.h"
#include "foundation/util_string.h"
#include "metalink/MetalinkHttpEntry.h"
#include "net/HttpHeaderProcessor.h"
#include "storage/Checksum.h"
#include "storage/ChunkedDecodingStreamFilter.h"
#include "storage/FileEntry.h"
#include "storage/GZipDecodingStreamFilter.h"
#include "storage/Piece.h"
#include "storage/PiecedSegment.h"
#include "storage/Request.h"

namespace quarn {
namespace {

class HttpResponseTest : public ::testing::Test {
 public:
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

// The mirrors of the Link lines as "uri pri [pref] [geo]" items joined by '|'.
std::string linkMirrors(HttpResponseTest& t, const std::vector<std::string>& links,
                        const std::string& location = "") {
  std::string head = "HTTP/1.1 200 OK\r\n";
  for (const auto& l : links) {
    head += "Link: " + l + "\r\n";
  }
  auto option = std::make_shared<Option>();
  if (!location.empty()) {
    option->put(PREF_METALINK_LOCATION, location);
  }
  std::vector<MetalinkHttpEntry> result;
  t.make(head)->getMetalinKHttpEntries(result, option);
  std::string out;
  for (const auto& e : result) {
    out += (out.empty() ? "" : "|") + e.uri + " " + std::to_string(e.pri) +
           (e.pref ? " pref" : "") + (e.geo.empty() ? "" : " " + e.geo);
  }
  return out;
}

TEST_F(HttpResponseTest, LinkMirrorsTable) {
  const struct {
    std::vector<std::string> links;
    std::string location;
    std::string mirrors;
  } cases[] = {
      {{"<http://m/f>; rel=duplicate; pri=2; geo=DE"}, "", "http://m/f 2 de"},
      {{"<http://m/f>; rel=duplicate; pri=2; geo=DE"}, " de, jp ,", "http://m/f -999997 de"},
      {{"<http://m/f>; rel=duplicate; geo=us"}, "de,jp", "http://m/f 999999 us"},
      {{"< http://m/f >;rel=duplicate"}, "", "http://m/f 999999"},
      // Out-of-range and malformed priorities keep the default.
      {{"<http://a/f>; rel=duplicate; pri=0", "<http://b/f>; rel=duplicate; pri=1000000",
        "<http://c/f>; rel=duplicate; pri=x"},
       "",
       "http://a/f 999999|http://b/f 999999|http://c/f 999999"},
      {{"<http://a/f>; rel=duplicate; pri=1", "<http://b/f>; rel=duplicate; pri=999999"},
       "",
       "http://a/f 1|http://b/f 999999"},
      // A bare pref puts the mirror before better priorities; pref=1 is no flag.
      {{"<http://a/f>; rel=duplicate; pri=1", "<http://b/f>; rel=duplicate; pri=50; pref",
        "<http://c/f>; rel=duplicate; pri=2; pref=1"},
       "",
       "http://b/f 50 pref|http://a/f 1|http://c/f 2"},
      // Only rel=duplicate names a mirror; the last rel wins; names are case-sensitive.
      {{"<http://a/f>; rel=describedby", "<http://b/f>", "<http://c/f>; rel=duplicate; rel=x",
        "<http://d/f>; rel=x; rel=duplicate", "<http://e/f>; REL=duplicate",
        "<http://f/f>; rel=\"duplicate\"", "<http://g/f>; rel=Duplicate"},
       "",
       "http://d/f 999999"},
      // Malformed values give nothing and do not spoil the others.
      {{"http://a/f; rel=duplicate", "<http://b/f; rel=duplicate", "<>; rel=duplicate",
        "< >; rel=duplicate", "", "<http://c/f>; rel=duplicate; pri=3"},
       "",
       "http://c/f 3"},
      // Parameters start after the first ';' past '>'.
      {{"<http://a/f>rel=duplicate", "<http://b/f> junk ; ; rel=duplicate ;"},
       "",
       "http://b/f 999999"},
      {{}, "de", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.links.empty() ? "(none)" : c.links.front());
    EXPECT_EQ(c.mirrors, linkMirrors(*this, c.links, c.location));
  }
}

TEST_F(HttpResponseTest, LinkMirrorsAreAppendedToTheGivenList) {
  std::vector<MetalinkHttpEntry> result(1);
  result[0].uri = "http://kept/f";
  make("HTTP/1.1 200 OK\r\nLink: <http://m/f>; rel=duplicate; pri=5\r\n")
      ->getMetalinKHttpEntries(result, std::make_shared<Option>());
  ASSERT_EQ(2u, result.size());
  EXPECT_EQ("http://m/f", result[0].uri);
  EXPECT_EQ("http://kept/f", result[1].uri);
}

std::string b64(const std::string& raw) {
  return base64::encode(raw.begin(), raw.end());
}

// The digests of the Digest lines as "type:hex" items joined by '|'.
std::string digests(HttpResponseTest& t, const std::vector<std::string>& fields) {
  std::string head = "HTTP/1.1 200 OK\r\n";
  for (const auto& f : fields) {
    head += "Digest: " + f + "\r\n";
  }
  std::vector<Checksum> result;
  t.make(head)->getDigest(result);
  std::string out;
  for (const auto& c : result) {
    out += (out.empty() ? "" : "|") + c.getHashType() + ":" + util::toHex(c.getDigest());
  }
  return out;
}

TEST_F(HttpResponseTest, DigestTable) {
  const std::string sha1A(20, '\xaa'), sha1B(20, '\xbb'), sha256A(32, '\x11'), sha256B(32, '\x22'),
      sha512(64, '\x33'), md5A(16, '\x44'), md5B(16, '\x55'), adler(4, '\x66');
  const std::string hexSha1A = util::toHex(sha1A), hexSha256A = util::toHex(sha256A),
                    hexSha512 = util::toHex(sha512), hexMd5A = util::toHex(md5A),
                    hexAdler = util::toHex(adler);
  const struct {
    std::vector<std::string> fields;
    std::string result;
  } cases[] = {
      {{"SHA-256=" + b64(sha256A)}, "sha-256:" + hexSha256A},
      // Strongest first, across and within fields.
      {{"md5=" + b64(md5A) + ", SHA-1=" + b64(sha1A), "sha-512=" + b64(sha512)},
       "sha-512:" + hexSha512 + "|sha-1:" + hexSha1A + "|md5:" + hexMd5A},
      // The same digest twice is kept once.
      {{"sha-1=" + b64(sha1A), "SHA-1=" + b64(sha1A) + ",sha-1=" + b64(sha1A)},
       "sha-1:" + hexSha1A},
      // A type announced with two digests disappears; the others stay.
      {{"sha-1=" + b64(sha1A), "sha-256=" + b64(sha256A), "sha-1=" + b64(sha1B)},
       "sha-256:" + hexSha256A},
      {{"sha-256=" + b64(sha256A) + ",sha-256=" + b64(sha256B) + ",sha-256=" + b64(sha256A)}, ""},
      // md5 and adler32 are of equal strength: a conflict in one is still found.
      {{"md5=" + b64(md5A) + ",adler32=" + b64(adler) + ",md5=" + b64(md5B)},
       "adler32:" + hexAdler},
      {{"md5=" + b64(md5A) + ",adler32=" + b64(adler) + ",md5=" + b64(md5A)},
       "adler32:" + hexAdler + "|md5:" + hexMd5A},
      // Unknown names (SHA is the old name of SHA-1), wrong lengths and bad
      // Base64 are ignored.
      {{"SHA=" + b64(sha1A), "sha1=" + b64(sha1A), "unixsum=30637"}, ""},
      {{"sha-256=" + b64(sha1A), "sha-1=" + b64(sha256A), "sha-1=" + b64(sha1A).substr(4)}, ""},
      {{"sha-1", "=", ",,", "sha-1="}, ""},
      {{}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fields.empty() ? "(none)" : c.fields.front());
    EXPECT_EQ(c.result, digests(*this, c.fields));
  }
}

}  // namespace
}  // namespace quarn
