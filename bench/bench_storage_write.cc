// Bytes per second through the download hot path: decoding filters, the sink,
// the write cache and the disk adaptor, into a real file.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <random>
#include <string>

#include "net/SocketRecvBuffer.h"
#include "platform/allocator_tuning.h"
#include "storage/ChunkedDecodingStreamFilter.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/GZipDecodingStreamFilter.h"
#include "storage/Piece.h"
#include "storage/Segment.h"
#include "storage/SegmentMan.h"
#include "storage/SinkStreamFilter.h"
#include "storage/WrDiskCache.h"

namespace {

using namespace quarn;

constexpr int64_t TOTAL = 64 * 1024 * 1024;
constexpr int32_t PIECE = 1024 * 1024;

enum Mode { PLAIN_DIRECT, PLAIN_CACHED, CHUNKED_CACHED, GZIP_CACHED };

std::string makeBody(Mode mode, const std::string& data) {
  if (mode == CHUNKED_CACHED) {
    std::string out;
    char size[32];
    for (size_t pos = 0; pos < data.size(); pos += 8192) {
      size_t n = std::min<size_t>(8192, data.size() - pos);
      snprintf(size, sizeof(size), "%zx\r\n", n);
      out += size;
      out.append(data, pos, n);
      out += "\r\n";
    }
    return out + "0\r\n\r\n";
  }
  if (mode == GZIP_CACHED) {
    z_stream strm{};
    deflateInit2(&strm, Z_BEST_SPEED, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&strm, data.size()), '\0');
    strm.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    strm.avail_in = data.size();
    strm.next_out = reinterpret_cast<Bytef*>(out.data());
    strm.avail_out = out.size();
    deflate(&strm, Z_FINISH);
    out.resize(strm.total_out);
    deflateEnd(&strm);
    return out;
  }
  return data;
}

std::unique_ptr<StreamFilter> makeChain(Mode mode, WrDiskCache* cache) {
  std::unique_ptr<StreamFilter> head = std::make_unique<SinkStreamFilter>(cache, false);
  if (mode == CHUNKED_CACHED || mode == GZIP_CACHED) {
    std::unique_ptr<StreamFilter> decoder;
    if (mode == CHUNKED_CACHED) {
      decoder = std::make_unique<ChunkedDecodingStreamFilter>();
    } else {
      decoder = std::make_unique<GZipDecodingStreamFilter>();
    }
    decoder->init();
    decoder->installDelegate(std::move(head));
    head = std::move(decoder);
  }
  return head;
}

// The program tunes the allocator before anything else; so does the benchmark.
const bool allocatorTuned = (platform::tuneAllocatorForStreaming(), true);

// Argument 1 is the bytes handed over per call: what one socket read brings.
void BM_StorageWrite(benchmark::State& state) {
  auto mode = static_cast<Mode>(state.range(0));
  const auto recvSize = static_cast<size_t>(state.range(1));
  std::string dir =
      std::filesystem::temp_directory_path() / ("quarn-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  // One piece of compressible text, repeated: every segment gets the same body.
  std::mt19937 rng(1);
  std::string piece(PIECE, '\0');
  for (auto& c : piece) {
    c = "abcdefgh \n"[rng() % 10];
  }
  std::string body = makeBody(mode, piece);
  for (auto _ : state) {
    state.PauseTiming();
    auto ctx = std::make_shared<DownloadContext>(PIECE, TOTAL, dir + "/out");
    WrDiskCache cache(16 * 1024 * 1024);
    auto storage = std::make_shared<DefaultPieceStorage>(ctx, nullptr);
    if (mode != PLAIN_DIRECT) {
      storage->setWrDiskCache(&cache);
    }
    storage->initStorage();
    auto adaptor = storage->getDiskAdaptor();
    adaptor->initAndOpenFile();
    SegmentMan segmentMan(ctx, storage);
    state.ResumeTiming();
    while (auto segment = segmentMan.getSegment(1, PIECE)) {
      auto chain = makeChain(mode, storage->getWrDiskCache());
      for (size_t pos = 0; pos < body.size();) {
        size_t n = std::min(recvSize, body.size() - pos);
        chain->transform(adaptor, segment, reinterpret_cast<const uint8_t*>(body.data()) + pos, n);
        pos += chain->getBytesProcessed();
        if (chain->getBytesProcessed() == 0) {
          break;
        }
      }
      auto p = segment->getPiece();
      if (p->getWrDiskCacheEntry()) {
        p->flushWrCache(storage->getWrDiskCache());
        p->throwIfWrCacheFailed(storage->getWrDiskCache());
      }
      segmentMan.completeSegment(1, segment);
    }
    state.PauseTiming();
    adaptor->closeFile();
    std::filesystem::remove(dir + "/out");
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * TOTAL);
  std::filesystem::remove_all(dir);
}

BENCHMARK(BM_StorageWrite)
    ->ArgsProduct({{PLAIN_DIRECT, PLAIN_CACHED, CHUNKED_CACHED, GZIP_CACHED},
                   {16 * 1024, SocketRecvBuffer::BUFFER_SIZE}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
