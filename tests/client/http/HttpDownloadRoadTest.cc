// The HTTP client commands end to end inside one process: a download with one
// URI runs through the real engine loop against a small server on loopback.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "client/DownloadRoad.h"
#include "client/LoopbackListener.h"
#include "client/auth/AuthConfigFactory.h"
#include "config/Option.h"
#include "config/OptionParser.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/EpollEventPoll.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/File.h"
#include "foundation/MessageDigest.h"
#include "foundation/TempDir.h"
#include "foundation/error_code.h"
#include "foundation/message_digest.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/ServerStat.h"

namespace quarn {
namespace {

// Answers GET with the body, honouring one "Range: bytes=A-B" per request;
// the behaviour of a path is fixed by the test.
class TestHttpServer {
 public:
  struct Behaviour {
    int status = 200;
    std::string location;
    bool ranges = true;
    bool chunked = false;
    bool keepAlive = false;
    // When set, the answer claims this Content-Length and sends no body.
    std::string announcedLength;
  };

  TestHttpServer(std::string body, Behaviour behaviour)
      : body_(std::move(body)), behaviour_(std::move(behaviour)) {}

  uint16_t port() const { return listener_.port(); }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port()) + path;
  }
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
  }

 private:
  static bool sendAll(int c, const std::string& data) { return LoopbackListener::sendAll(c, data); }

  void serve(int c) {
    std::string buf;
    char tmp[4096];
    while (true) {
      size_t end;
      while ((end = buf.find("\r\n\r\n")) == std::string::npos) {
        ssize_t n = ::recv(c, tmp, sizeof(tmp), 0);
        if (n <= 0) {
          ::close(c);
          return;
        }
        buf.append(tmp, static_cast<size_t>(n));
      }
      std::string head = buf.substr(0, end);
      buf.erase(0, end + 4);
      {
        std::lock_guard<std::mutex> lock(mu_);
        requests_.push_back(head);
      }
      if (!sendAll(c, answer(head)) || !behaviour_.keepAlive) {
        ::close(c);
        return;
      }
    }
  }

  std::string answer(const std::string& head) const {
    std::ostringstream out;
    if (!behaviour_.location.empty() && head.find("GET /redirect") == 0) {
      out << "HTTP/1.1 302 Found\r\nLocation: " << behaviour_.location
          << "\r\nContent-Length: 0\r\n\r\n";
      return out.str();
    }
    if (!behaviour_.announcedLength.empty()) {
      out << "HTTP/1.1 200 OK\r\nContent-Length: " << behaviour_.announcedLength << "\r\n\r\n";
      return out.str();
    }
    if (behaviour_.status != 200) {
      out << "HTTP/1.1 " << behaviour_.status << " Nope\r\nContent-Length: 4\r\n\r\nnope";
      return out.str();
    }
    size_t first = 0;
    size_t last = body_.size() - 1;
    bool partial = false;
    auto r = head.find("Range: bytes=");
    if (r != std::string::npos && behaviour_.ranges) {
      std::istringstream in(head.substr(r + 13));
      char dash;
      in >> first >> dash;
      if (in.peek() != '\r' && in.peek() != EOF) {
        in >> last;
      }
      last = std::min(last, body_.size() - 1);
      partial = true;
    }
    std::string part = body_.substr(first, last - first + 1);
    out << "HTTP/1.1 " << (partial ? "206 Partial Content" : "200 OK") << "\r\n";
    out << (behaviour_.keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n");
    if (behaviour_.ranges) {
      out << "Accept-Ranges: bytes\r\n";
    }
    if (partial) {
      out << "Content-Range: bytes " << first << "-" << last << "/" << body_.size() << "\r\n";
    }
    if (behaviour_.chunked) {
      out << "Transfer-Encoding: chunked\r\n\r\n";
      for (size_t i = 0; i < part.size(); i += 7000) {
        std::string chunk = part.substr(i, 7000);
        out << std::hex << chunk.size() << std::dec << "\r\n" << chunk << "\r\n";
      }
      out << "0\r\n\r\n";
    } else {
      out << "Content-Length: " << part.size() << "\r\n\r\n" << part;
    }
    return out.str();
  }

  std::string body_;
  Behaviour behaviour_;
  std::mutex mu_;
  std::vector<std::string> requests_;
  LoopbackListener listener_{[this](int c) { serve(c); }};
};

class HttpDownloadRoadTest : public ::testing::Test {
 protected:
  void SetUp() override { option_ = roadOption(dir_.path(), "2"); }

  // Runs one download of `uri` to its end; returns the download's result.
  error_code::Value download(const std::string& uri,
                             const std::function<void(DownloadContext&)>& prepare = nullptr) {
    std::vector<std::string> paths;
    auto results = runDownloads(option_, {uri}, paths, prepare, [this](RequestGroupMan& rgman) {
      serverStat_ = rgman.findServerStat("127.0.0.1", "http");
    });
    path_ = paths[0];
    return results[0];
  }

  TempDir dir_;
  std::shared_ptr<Option> option_;
  std::string path_;
  std::shared_ptr<ServerStat> serverStat_;
};

TEST_F(HttpDownloadRoadTest, OneConnectionDownloadsTheWholeBody) {
  std::string body = randomBody(300 * 1024);
  TestHttpServer server(body, {});
  ASSERT_EQ(error_code::FINISHED, download(server.url("/file.bin")));
  EXPECT_EQ(dir_.file("file.bin"), path_);
  EXPECT_EQ(body, readFile(path_));
}

// The SHA-1 of each piece of `body`.
std::vector<std::string> pieceHashes(const std::string& body, size_t pieceLength) {
  std::vector<std::string> hashes;
  for (size_t off = 0; off < body.size(); off += pieceLength) {
    std::string piece = body.substr(off, pieceLength);
    unsigned char out[20];
    message_digest::digest(out, sizeof(out), MessageDigest::sha1().get(), piece.data(),
                           piece.size());
    hashes.emplace_back(reinterpret_cast<char*>(out), sizeof(out));
  }
  return hashes;
}

TEST_F(HttpDownloadRoadTest, PiecesAreCheckedAgainstTheirHashesAsTheyArrive) {
  const size_t pieceLength = 1024 * 1024;
  std::string body = randomBody(3 * pieceLength + 100);
  auto hashes = pieceHashes(body, pieceLength);
  auto withHashes = [&hashes](DownloadContext& ctx) {
    ctx.setPieceHashes("sha-1", hashes.begin(), hashes.end());
  };
  option_->put(PREF_MIN_SPLIT_SIZE, "1048576");
  {
    TestHttpServer server(body, {});
    ASSERT_EQ(error_code::FINISHED, download(server.url("/good.bin"), withHashes));
    EXPECT_EQ(body, readFile(path_));
  }
  // A server whose second piece differs: the first piece is kept, the second
  // is never accepted, and each try of it is a retry until the tries run out.
  std::string bad = body;
  bad[pieceLength + 10] ^= 0x5a;
  TestHttpServer server(bad, {});
  option_->put(PREF_MAX_TRIES, "3");
  EXPECT_NE(error_code::FINISHED, download(server.url("/bad.bin"), withHashes));
  EXPECT_EQ(body.substr(0, pieceLength), readFile(path_).substr(0, pieceLength));
  size_t badPieceRequests = 0;
  for (const auto& r : server.requests()) {
    badPieceRequests +=
        r.find("Range: bytes=" + std::to_string(pieceLength) + "-") != std::string::npos;
  }
  EXPECT_GE(badPieceRequests, 2U);
}

TEST_F(HttpDownloadRoadTest, SeveralConnectionsShareTheFile) {
  std::string body = randomBody(5 * 1024 * 1024 + 123);
  TestHttpServer server(body, {});
  option_->put(PREF_MAX_CONNECTION_PER_SERVER, "4");
  option_->put(PREF_SPLIT, "4");
  option_->put(PREF_MIN_SPLIT_SIZE, "1048576");
  ASSERT_EQ(error_code::FINISHED, download(server.url("/big.bin")));
  EXPECT_EQ(body, readFile(path_));
  size_t ranged = 0;
  for (const auto& r : server.requests()) {
    ranged +=
        r.find("Range: bytes=") != std::string::npos && r.find("bytes=0-") == std::string::npos;
  }
  EXPECT_GT(ranged, 0U);
}

TEST_F(HttpDownloadRoadTest, KeepAliveConnectionIsReused) {
  std::string body = randomBody(3 * 1024 * 1024);
  TestHttpServer::Behaviour b;
  b.keepAlive = true;
  TestHttpServer server(body, b);
  option_->put(PREF_MIN_SPLIT_SIZE, "1048576");
  ASSERT_EQ(error_code::FINISHED, download(server.url("/ka.bin")));
  EXPECT_EQ(body, readFile(path_));
}

TEST_F(HttpDownloadRoadTest, ChunkedBodyOfUnknownLength) {
  std::string body = randomBody(100 * 1024 + 7);
  TestHttpServer::Behaviour b;
  b.chunked = true;
  b.ranges = false;
  TestHttpServer server(body, b);
  ASSERT_EQ(error_code::FINISHED, download(server.url("/chunked.bin")));
  EXPECT_EQ(body, readFile(path_));
}

TEST_F(HttpDownloadRoadTest, RedirectIsFollowed) {
  std::string body = randomBody(1000);
  TestHttpServer::Behaviour b;
  b.location = "/target.bin";
  TestHttpServer server(body, b);
  ASSERT_EQ(error_code::FINISHED, download(server.url("/redirect")));
  EXPECT_EQ(body, readFile(dir_.file("target.bin")));
}

TEST_F(HttpDownloadRoadTest, ErrorStatusesGiveTheirCodes) {
  struct Case {
    int status;
    error_code::Value code;
  } cases[] = {{404, error_code::RESOURCE_NOT_FOUND},
               {500, error_code::HTTP_PROTOCOL_ERROR},
               {503, error_code::HTTP_SERVICE_UNAVAILABLE},
               {401, error_code::HTTP_AUTH_FAILED}};
  option_->put(PREF_MAX_FILE_NOT_FOUND, "0");
  for (const auto& c : cases) {
    TestHttpServer::Behaviour b;
    b.status = c.status;
    TestHttpServer server("x", b);
    EXPECT_EQ(c.code, download(server.url("/f"))) << c.status;
  }
}

TEST_F(HttpDownloadRoadTest, FinishedDownloadFeedsTheServerStatistics) {
  // Big enough to take longer than the shortest time an average speed needs.
  std::string body = randomBody(4 * 1024 * 1024);
  TestHttpServer server(body, {});
  ASSERT_EQ(error_code::FINISHED, download(server.url("/file.bin")));
  ASSERT_TRUE(serverStat_);
  EXPECT_TRUE(serverStat_->isOK());
  EXPECT_EQ(1, serverStat_->getCounter());
  EXPECT_GT(serverStat_->getDownloadSpeed(), 0);
  // One connection only: its speed goes to the single-connection average.
  EXPECT_GT(serverStat_->getSingleConnectionAvgSpeed(), 0);
  EXPECT_EQ(0, serverStat_->getMultiConnectionAvgSpeed());
}

// A made-up size must be refused before any storage is sized by it.
TEST_F(HttpDownloadRoadTest, AbsurdAnnouncedLengthIsRefused) {
  for (const char* length : {"9223372036854775807", "4611686018427387904"}) {
    TestHttpServer::Behaviour b;
    b.announcedLength = length;
    TestHttpServer server("", b);
    EXPECT_NE(error_code::FINISHED, download(server.url("/huge.bin"))) << length;
    EXPECT_FALSE(File(dir_.file("huge.bin")).exists()) << length;
  }
}

TEST_F(HttpDownloadRoadTest, PreDownloadHandlerKeepsAMetalinkInMemory) {
  TestHttpServer server("<metalink/>", {});
  option_->put(PREF_FOLLOW_METALINK, V_MEM);
  ASSERT_EQ(error_code::FINISHED, download(server.url("/list.metalink")));
  EXPECT_FALSE(File(dir_.file("list.metalink")).exists());
}

TEST_F(HttpDownloadRoadTest, RefusedConnectionIsRetriedThenGivenUp) {
  // A port that was just free and has nobody listening any more.
  uint16_t port;
  ::close(LoopbackListener::listenLoopback(port));
  EXPECT_NE(error_code::FINISHED,
            download("http://127.0.0.1:" + std::to_string(port) + "/nothing"));
  ASSERT_TRUE(serverStat_);
  EXPECT_TRUE(serverStat_->isError());
}

}  // namespace
}  // namespace quarn
