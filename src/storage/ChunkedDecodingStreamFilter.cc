#include "storage/ChunkedDecodingStreamFilter.h"

#include <algorithm>

#include "foundation/DlAbortEx.h"
#include "foundation/util_chars.h"
#include "foundation/util_string.h"

namespace quarn {

const std::string ChunkedDecodingStreamFilter::NAME("ChunkedDecodingStreamFilter");

namespace {

constexpr int64_t MAX_SIZE_BEFORE_DIGIT = 0x0800000000000000LL;

}  // namespace

ChunkedDecodingStreamFilter::ChunkedDecodingStreamFilter(std::unique_ptr<StreamFilter> delegate)
    : StreamFilter(std::move(delegate)),
      state_(SIZE_START),
      chunkSize_(0),
      chunkRemaining_(0),
      bytesProcessed_(0) {}

ssize_t ChunkedDecodingStreamFilter::transform(const std::shared_ptr<BinaryStream>& out,
                                               const std::shared_ptr<Segment>& segment,
                                               const uint8_t* inbuf, size_t inlen) {
  ssize_t outlen = 0;
  size_t i = 0;
  bytesProcessed_ = 0;
  while (i < inlen && state_ != DONE) {
    uint8_t c = inbuf[i];
    switch (state_) {
      case SIZE_START:
        if (!util::isHexDigit(c)) {
          throw DL_ABORT_EX("Bad chunk size: not hex string");
        }
        chunkSize_ = util::hexCharToUInt(c);
        state_ = SIZE_DIGITS;
        break;
      case SIZE_DIGITS:
        if (util::isHexDigit(c)) {
          if (chunkSize_ >= MAX_SIZE_BEFORE_DIGIT) {
            throw DL_ABORT_EX("Too big chunk size");
          }
          chunkSize_ = chunkSize_ * 16 + util::hexCharToUInt(c);
        } else if (c == '\r') {
          state_ = SIZE_LF;
        } else if (c == ';') {
          state_ = SIZE_EXTENSION;
        } else {
          throw DL_ABORT_EX("Bad chunk size: not hex string");
        }
        break;
      case SIZE_EXTENSION:
        if (c == '\r') {
          state_ = SIZE_LF;
        }
        break;
      case SIZE_LF:
        if (c != '\n') {
          throw DL_ABORT_EX("Bad chunk encoding: missing LF at the end of chunk size");
        }
        chunkRemaining_ = chunkSize_;
        state_ = chunkSize_ > 0 ? DATA : TRAILER_START;
        break;
      case DATA: {
        size_t n = static_cast<size_t>(
            std::min<int64_t>(chunkRemaining_, static_cast<int64_t>(inlen - i)));
        if (delegate_) {
          outlen += delegate_->transform(out, segment, inbuf + i, n);
        }
        chunkRemaining_ -= n;
        i += n;
        if (chunkRemaining_ == 0) {
          state_ = DATA_CR;
        }
        continue;
      }
      case DATA_CR:
        if (c != '\r') {
          throw DL_ABORT_EX("Bad chunk encoding: missing CR at the end of chunk");
        }
        state_ = DATA_LF;
        break;
      case DATA_LF:
        if (c != '\n') {
          throw DL_ABORT_EX("Bad chunk encoding: missing LF at the end of chunk");
        }
        chunkSize_ = 0;
        chunkRemaining_ = 0;
        state_ = SIZE_START;
        break;
      case TRAILER_START:
        state_ = c == '\r' ? FINAL_LF : TRAILER_LINE;
        break;
      case TRAILER_LINE:
        if (c == '\r') {
          state_ = TRAILER_LF;
        }
        break;
      case TRAILER_LF:
        if (c != '\n') {
          throw DL_ABORT_EX("Bad chunk encoding: missing LF at the end of trailer");
        }
        state_ = TRAILER_START;
        break;
      case FINAL_LF:
        if (c != '\n') {
          throw DL_ABORT_EX("Bad chunk encoding: missing LF at the end of chunks");
        }
        state_ = DONE;
        break;
      case DONE:
        break;
    }
    ++i;
    bytesProcessed_ = i;
  }
  bytesProcessed_ = i;
  return outlen;
}

bool ChunkedDecodingStreamFilter::finished() {
  return state_ == DONE && delegate_ && delegate_->finished();
}

}  // namespace quarn
