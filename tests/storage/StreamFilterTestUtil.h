#pragma once

#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "storage/StreamFilter.h"

namespace quarn::test {

// Bottom of a test chain: keeps everything it receives.
class CollectingFilter : public StreamFilter {
 public:
  explicit CollectingFilter(std::string* sink) : sink_(sink) {}
  void init() override {}
  ssize_t transform(const std::shared_ptr<BinaryStream>&, const std::shared_ptr<Segment>&,
                    const uint8_t* inbuf, size_t inlen) override {
    sink_->append(reinterpret_cast<const char*>(inbuf), inlen);
    processed_ = inlen;
    return inlen;
  }
  bool finished() override { return true; }
  void release() override {}
  const std::string& getName() const override { return name_; }
  size_t getBytesProcessed() const override { return processed_; }
  bool installDelegate(std::unique_ptr<StreamFilter>) override { return false; }

 private:
  std::string* sink_;
  size_t processed_ = 0;
  std::string name_ = "CollectingFilter";
};

inline std::string randomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) {
    c = static_cast<char>(rng() & 0xff);
  }
  return s;
}

// Compressible text: random words, so the compressed form is much shorter.
inline std::string randomText(size_t n, uint32_t seed) {
  static const char* words[] = {"storage ", "piece ", "segment ", "cache ", "disk ", "block\n"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) {
    s += words[rng() % 6];
  }
  s.resize(n);
  return s;
}

// windowBits 31 gives a gzip wrapper, 15 a zlib wrapper.
inline std::string deflateWith(const std::string& data, int windowBits) {
  z_stream strm{};
  deflateInit2(&strm, Z_BEST_SPEED, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&strm, data.size()) + 64, '\0');
  strm.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  strm.avail_in = data.size();
  strm.next_out = reinterpret_cast<Bytef*>(out.data());
  strm.avail_out = out.size();
  deflate(&strm, Z_FINISH);
  out.resize(strm.total_out);
  deflateEnd(&strm);
  return out;
}

inline std::string chunkEncode(const std::string& data, std::mt19937& rng, size_t maxChunk) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t n = std::min<size_t>(data.size() - pos, 1 + rng() % maxChunk);
    std::string size;
    for (size_t v = n; v; v >>= 4) {
      size.insert(size.begin(), hex[v & 0xf]);
    }
    out += size;
    if (rng() % 4 == 0) {
      out += ";ext=1";
    }
    out += "\r\n";
    out.append(data, pos, n);
    out += "\r\n";
    pos += n;
  }
  out += "0\r\n\r\n";
  return out;
}

// Cuts [0, n) into random pieces of 1 to maxPiece bytes.
inline std::vector<size_t> randomSplit(size_t n, std::mt19937& rng, size_t maxPiece) {
  std::vector<size_t> cuts;
  size_t pos = 0;
  while (pos < n) {
    size_t len = std::min<size_t>(n - pos, 1 + rng() % maxPiece);
    cuts.push_back(len);
    pos += len;
  }
  return cuts;
}

}  // namespace quarn::test
