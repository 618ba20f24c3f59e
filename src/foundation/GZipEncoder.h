#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>

namespace quarn {

// Compresses text into an in-memory gzip member.
class GZipEncoder {
 public:
  GZipEncoder();
  ~GZipEncoder();
  GZipEncoder(const GZipEncoder&) = delete;
  GZipEncoder& operator=(const GZipEncoder&) = delete;

  // Must be called before the first use and after str().
  void init();
  void release();

  GZipEncoder& operator<<(const char* s);
  GZipEncoder& operator<<(const std::string& s);
  GZipEncoder& operator<<(int64_t i);
  GZipEncoder& write(const char* s, size_t length);

  // Finishes the stream and returns the whole compressed output.
  std::string str();

 private:
  std::string encode(const unsigned char* in, size_t length, int flush);

  std::unique_ptr<z_stream> strm_;
  std::string internalBuf_;
};

}  // namespace quarn
