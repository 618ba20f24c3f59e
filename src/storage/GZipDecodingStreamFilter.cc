#include "storage/GZipDecodingStreamFilter.h"

#include "foundation/DlAbortEx.h"

namespace quarn {

const std::string GZipDecodingStreamFilter::NAME("GZipDecodingStreamFilter");

GZipDecodingStreamFilter::GZipDecodingStreamFilter(std::unique_ptr<StreamFilter> delegate)
    : StreamFilter(std::move(delegate)), finished_(false), bytesProcessed_(0) {}

GZipDecodingStreamFilter::~GZipDecodingStreamFilter() {
  release();
}

void GZipDecodingStreamFilter::init() {
  finished_ = false;
  release();
  auto strm = std::make_unique<z_stream>();
  strm->zalloc = Z_NULL;
  strm->zfree = Z_NULL;
  strm->opaque = Z_NULL;
  strm->avail_in = 0;
  strm->next_in = Z_NULL;
  // 15 bits of window, plus 32: the library tells gzip and zlib headers apart.
  if (inflateInit2(strm.get(), 47) != Z_OK) {
    throw DL_ABORT_EX("Initializing z_stream failed.");
  }
  strm_ = std::move(strm);
}

void GZipDecodingStreamFilter::release() {
  if (strm_) {
    inflateEnd(strm_.get());
    strm_.reset();
  }
}

ssize_t GZipDecodingStreamFilter::transform(const std::shared_ptr<BinaryStream>& out,
                                            const std::shared_ptr<Segment>& segment,
                                            const uint8_t* inbuf, size_t inlen) {
  bytesProcessed_ = 0;
  if (inlen == 0) {
    return 0;
  }
  if (!strm_) {
    throw DL_ABORT_EX("Initializing z_stream failed.");
  }
  ssize_t outlen = 0;
  strm_->avail_in = static_cast<uInt>(inlen);
  strm_->next_in = const_cast<Bytef*>(inbuf);
  unsigned char outbuf[OUTBUF_LENGTH];
  while (true) {
    strm_->avail_out = OUTBUF_LENGTH;
    strm_->next_out = outbuf;
    int ret = ::inflate(strm_.get(), Z_NO_FLUSH);
    if (ret == Z_STREAM_END) {
      finished_ = true;
    } else if (ret != Z_OK && ret != Z_BUF_ERROR) {
      throw DL_ABORT_EX(std::string("libz::inflate() failed. cause:") +
                        (strm_->msg ? strm_->msg : ""));
    }
    size_t produced = OUTBUF_LENGTH - strm_->avail_out;
    if (delegate_) {
      outlen += delegate_->transform(out, segment, outbuf, produced);
    }
    if (strm_->avail_out > 0 || finished_) {
      break;
    }
  }
  bytesProcessed_ = inlen - strm_->avail_in;
  return outlen;
}

bool GZipDecodingStreamFilter::finished() {
  return finished_ && delegate_ && delegate_->finished();
}

}  // namespace quarn
