#include "foundation/GZipEncoder.h"

#include <algorithm>
#include <cstring>

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"

namespace quarn {

namespace {

constexpr size_t OUTBUF_LENGTH = 4096;

}  // namespace

GZipEncoder::GZipEncoder() = default;

GZipEncoder::~GZipEncoder() {
  release();
}

void GZipEncoder::init() {
  release();
  internalBuf_.clear();
  strm_ = std::make_unique<z_stream>();
  strm_->zalloc = Z_NULL;
  strm_->zfree = Z_NULL;
  strm_->opaque = Z_NULL;
  strm_->avail_in = 0;
  strm_->next_in = Z_NULL;
  if (Z_OK !=
      deflateInit2(strm_.get(), Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY)) {
    strm_.reset();
    throw DL_ABORT_EX("Initializing z_stream failed.");
  }
}

void GZipEncoder::release() {
  if (strm_) {
    deflateEnd(strm_.get());
    strm_.reset();
  }
}

std::string GZipEncoder::encode(const unsigned char* in, size_t length, int flush) {
  std::string out;
  strm_->avail_in = static_cast<uInt>(length);
  strm_->next_in = const_cast<unsigned char*>(in);
  unsigned char outbuf[OUTBUF_LENGTH];
  while (true) {
    strm_->avail_out = OUTBUF_LENGTH;
    strm_->next_out = outbuf;
    int ret = ::deflate(strm_.get(), flush);
    if (ret == Z_STREAM_ERROR) {
      throw DL_ABORT_EX(fmt("libz::deflate() failed. cause:%s", strm_->msg ? strm_->msg : ""));
    }
    size_t produced = OUTBUF_LENGTH - strm_->avail_out;
    out.append(reinterpret_cast<const char*>(outbuf), produced);
    if (strm_->avail_out > 0) {
      break;
    }
  }
  return out;
}

GZipEncoder& GZipEncoder::write(const char* s, size_t length) {
  // The stream's input count is 32 bits wide; feed longer input in pieces.
  constexpr size_t MAX_STEP = 1u << 30;
  auto* p = reinterpret_cast<const unsigned char*>(s);
  do {
    size_t step = std::min(length, MAX_STEP);
    internalBuf_ += encode(p, step, Z_NO_FLUSH);
    p += step;
    length -= step;
  } while (length > 0);
  return *this;
}

GZipEncoder& GZipEncoder::operator<<(const char* s) {
  return write(s, strlen(s));
}

GZipEncoder& GZipEncoder::operator<<(const std::string& s) {
  return write(s.data(), s.size());
}

GZipEncoder& GZipEncoder::operator<<(int64_t i) {
  return *this << std::to_string(i);
}

std::string GZipEncoder::str() {
  internalBuf_ += encode(nullptr, 0, Z_FINISH);
  return internalBuf_;
}

}  // namespace quarn
