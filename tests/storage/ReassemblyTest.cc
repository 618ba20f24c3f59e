// Rebuilds a file byte for byte from simulated client connections: each one
// takes segments from SegmentMan, receives its range through a decoding chain
// (plain, chunked, gzip) ending in the sink, into the write cache and the disk
// adaptor; connections are cancelled and idle segments taken over at random.
#include <gtest/gtest.h>

#include <random>

#include "StreamFilterTestUtil.h"
#include "TempDir.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "storage/ChunkedDecodingStreamFilter.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/GZipDecodingStreamFilter.h"
#include "storage/OpenedFileCounter.h"
#include "storage/PeerStat.h"
#include "storage/Piece.h"
#include "storage/Segment.h"
#include "storage/SegmentMan.h"
#include "storage/SinkStreamFilter.h"
#include "storage/WrDiskCache.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

namespace {

enum class Encoding { PLAIN, CHUNKED, GZIP, CHUNKED_GZIP };

struct Params {
  Encoding encoding;
  int connections;
  bool multiFile;
  uint32_t seed;
};

std::string encodingName(Encoding e) {
  switch (e) {
    case Encoding::PLAIN:
      return "plain";
    case Encoding::CHUNKED:
      return "chunked";
    case Encoding::GZIP:
      return "gzip";
    case Encoding::CHUNKED_GZIP:
      return "chunkedgzip";
  }
  return "";
}

// One simulated connection: the segment it holds and the encoded response body
// the server sends for the rest of that segment.
struct Connection {
  int64_t cuid;
  std::shared_ptr<PeerStat> peerStat;
  std::shared_ptr<Segment> segment;
  std::unique_ptr<StreamFilter> chain;
  std::string body;
  size_t consumed = 0;

  void drop() {
    segment.reset();
    chain.reset();
    body.clear();
    consumed = 0;
  }
};

class ReassemblyTest : public ::testing::TestWithParam<Params> {
 protected:
  void SetUp() override {
    const auto& p = GetParam();
    rng_.seed(p.seed * 7919 + p.connections * 31 + static_cast<int>(p.encoding));
    pieceLength_ = (rng_() % 2 ? 3 : 5) * Piece::BLOCK_LENGTH + (rng_() % 2 ? 0 : 1000);
    size_t total = 300000 + rng_() % 700000;
    source_ = p.encoding == Encoding::PLAIN ? test::randomBytes(total, p.seed)
                                            : test::randomText(total, p.seed);
    ctx_ = std::make_shared<DownloadContext>();
    ctx_->setPieceLength(pieceLength_);
    std::vector<std::shared_ptr<FileEntry>> entries;
    if (p.multiFile) {
      int64_t offset = 0;
      int n = 0;
      while (offset < static_cast<int64_t>(total)) {
        int64_t len = std::min<int64_t>(total - offset, rng_() % 5 == 0 ? 0 : rng_() % 200000);
        entries.push_back(
            std::make_shared<FileEntry>(dir_.file("out/f" + std::to_string(n++)), len, offset));
        offset += len;
      }
    } else {
      entries.push_back(std::make_shared<FileEntry>(dir_.file("out/file"), total, 0));
    }
    ctx_->setFileEntries(entries.begin(), entries.end());
    static const char* selectors[] = {"default", "inorder", "random", "geom"};
    option_.put(PREF_STREAM_PIECE_SELECTOR, selectors[rng_() % 4]);
    storage_ = std::make_shared<DefaultPieceStorage>(ctx_, &option_);
    // A small cache, so that the limit forces writes all the time.
    cache_ = std::make_unique<WrDiskCache>(64 * 1024 + rng_() % (256 * 1024));
    storage_->setWrDiskCache(cache_.get());
    storage_->initStorage();
    adaptor_ = storage_->getDiskAdaptor();
    std::weak_ptr<DiskAdaptor> weak = adaptor_;
    counter_ = std::make_shared<OpenedFileCounter>(
        [weak] { return std::vector<std::shared_ptr<DiskAdaptor>>{weak.lock()}; }, 2);
    adaptor_->setOpenedFileCounter(counter_);
    adaptor_->initAndOpenFile();
    segmentMan_ = std::make_shared<SegmentMan>(ctx_, storage_);
  }

  std::unique_ptr<StreamFilter> makeChain() {
    auto sink = std::make_unique<SinkStreamFilter>(cache_.get(), false);
    std::unique_ptr<StreamFilter> head = std::move(sink);
    auto enc = GetParam().encoding;
    if (enc == Encoding::GZIP || enc == Encoding::CHUNKED_GZIP) {
      auto gzip = std::make_unique<GZipDecodingStreamFilter>();
      gzip->init();
      gzip->installDelegate(std::move(head));
      head = std::move(gzip);
    }
    if (enc == Encoding::CHUNKED || enc == Encoding::CHUNKED_GZIP) {
      auto chunked = std::make_unique<ChunkedDecodingStreamFilter>();
      chunked->init();
      chunked->installDelegate(std::move(head));
      head = std::move(chunked);
    }
    return head;
  }

  std::string encode(const std::string& data) {
    auto enc = GetParam().encoding;
    std::string out = data;
    if (enc == Encoding::GZIP || enc == Encoding::CHUNKED_GZIP) {
      out = test::deflateWith(out, rng_() % 2 ? 31 : 15);
    }
    if (enc == Encoding::CHUNKED || enc == Encoding::CHUNKED_GZIP) {
      out = test::chunkEncode(out, rng_, 1 + rng_() % 40000);
    }
    return out;
  }

  void attach(Connection& c, std::shared_ptr<Segment> segment) {
    c.segment = std::move(segment);
    int64_t from = c.segment->getPositionToWrite();
    int64_t to = c.segment->getPosition() + c.segment->getLength();
    c.body = encode(source_.substr(from, to - from));
    c.consumed = 0;
    c.chain = makeChain();
    c.peerStat->downloadStart();
  }

  void finishSegment(Connection& c) {
    auto piece = c.segment->getPiece();
    if (piece->getWrDiskCacheEntry()) {
      piece->flushWrCache(cache_.get());
      piece->throwIfWrCacheFailed(cache_.get());
    }
    segmentMan_->completeSegment(c.cuid, c.segment);
    c.drop();
  }

  // One receive: a random slice of what is left of the body.
  void receive(Connection& c) {
    size_t left = c.body.size() - c.consumed;
    size_t n = std::min(left, 1 + rng_() % 8000);
    const auto* data = reinterpret_cast<const uint8_t*>(c.body.data()) + c.consumed;
    c.chain->transform(adaptor_, c.segment, data, n);
    c.consumed += c.chain->getBytesProcessed();
    if (c.segment->complete()) {
      finishSegment(c);
    }
  }

  test::TempDir dir_;
  std::mt19937 rng_;
  int32_t pieceLength_ = 0;
  std::string source_;
  Option option_;
  std::shared_ptr<DownloadContext> ctx_;
  std::shared_ptr<DefaultPieceStorage> storage_;
  std::unique_ptr<WrDiskCache> cache_;
  std::shared_ptr<DiskAdaptor> adaptor_;
  std::shared_ptr<OpenedFileCounter> counter_;
  std::shared_ptr<SegmentMan> segmentMan_;
};

TEST_P(ReassemblyTest, RebuildsTheSourceExactly) {
  const auto& p = GetParam();
  std::vector<Connection> conns(p.connections);
  for (int i = 0; i < p.connections; ++i) {
    conns[i].cuid = i + 1;
    conns[i].peerStat = std::make_shared<PeerStat>(i + 1, "localhost", "http");
    segmentMan_->registerPeerStat(conns[i].peerStat);
  }
  int cancels = 0;
  int takeovers = 0;
  for (int step = 0; !storage_->downloadFinished(); ++step) {
    ASSERT_LT(step, 2000000) << "no progress";
    auto& c = conns[rng_() % conns.size()];
    int dice = rng_() % 100;
    if (!c.segment) {
      std::shared_ptr<Segment> segment;
      if (dice < 40) {
        // Try to take over the segment of another connection, which succeeds
        // only when that one is idle and has written nothing.
        const auto& other = conns[rng_() % conns.size()];
        size_t index = other.segment ? other.segment->getIndex() : rng_() % ctx_->getNumPieces();
        segment = segmentMan_->getCleanSegmentIfOwnerIsIdle(c.cuid, index);
        if (segment) {
          for (auto& other : conns) {
            if (&other != &c && other.segment && other.segment->getIndex() == index) {
              other.drop();
              ++takeovers;
            }
          }
        }
      }
      if (!segment) {
        segment = segmentMan_->getSegment(c.cuid, pieceLength_);
      }
      if (segment) {
        attach(c, segment);
        // Sometimes a connection stalls before its first byte, so that others
        // may take its segment over.
        if (rng_() % 3 == 0) {
          c.peerStat->downloadStop();
        }
      }
      continue;
    }
    if (c.peerStat->getStatus() == PeerStat::IDLE) {
      if (dice < 10) {
        c.peerStat->downloadStart();
      }
      continue;
    }
    if (dice < 6) {
      segmentMan_->cancelSegment(c.cuid);
      c.drop();
      ++cancels;
      continue;
    }
    receive(c);
  }
  storage_->flushWrDiskCacheEntry(true);
  EXPECT_EQ(0u, cache_->getSize());
  EXPECT_EQ(static_cast<int64_t>(source_.size()), storage_->getCompletedLength());
  adaptor_->closeFile();
  EXPECT_LE(counter_->getNumOpenFiles(), 2u);
  std::string rebuilt;
  for (const auto& e : ctx_->getFileEntries()) {
    std::string part = test::readFile(e->getPath());
    ASSERT_EQ(static_cast<size_t>(e->getLength()), part.size()) << e->getPath();
    rebuilt += part;
  }
  ASSERT_EQ(source_.size(), rebuilt.size());
  EXPECT_TRUE(source_ == rebuilt) << "content differs";
  RecordProperty("cancels", cancels);
  RecordProperty("takeovers", takeovers);
}

std::vector<Params> allParams() {
  std::vector<Params> v;
  for (auto enc : {Encoding::PLAIN, Encoding::CHUNKED, Encoding::GZIP, Encoding::CHUNKED_GZIP}) {
    for (int n : {1, 2, 5, 16}) {
      for (bool multi : {false, true}) {
        for (uint32_t seed : {1u, 2u}) {
          v.push_back({enc, n, multi, seed});
        }
      }
    }
  }
  return v;
}

INSTANTIATE_TEST_SUITE_P(Connections, ReassemblyTest, ::testing::ValuesIn(allParams()),
                         [](const ::testing::TestParamInfo<Params>& info) {
                           const auto& p = info.param;
                           return encodingName(p.encoding) + "_" + std::to_string(p.connections) +
                                  "conn_" + (p.multiFile ? "multi" : "single") + "_" +
                                  std::to_string(p.seed);
                         });

}  // namespace

}  // namespace quarn
