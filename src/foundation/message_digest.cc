#include "foundation/message_digest.h"

#include <algorithm>
#include <array>

#include "foundation/BinaryStream.h"
#include "foundation/DlAbortEx.h"
#include "foundation/MessageDigest.h"
#include "foundation/fmt.h"

namespace quarn {
namespace message_digest {

std::string digest(MessageDigest* ctx, BinaryStream* bs, int64_t offset, int64_t length) {
  std::array<unsigned char, 4096> buf;
  while (length > 0) {
    size_t want = static_cast<size_t>(std::min<int64_t>(length, buf.size()));
    ssize_t got = bs->readData(buf.data(), want, offset);
    if (got < 0 || static_cast<size_t>(got) != want) {
      throw DL_ABORT_EX("Failed to read from the file n/a, cause: data is too short");
    }
    ctx->update(buf.data(), want);
    offset += static_cast<int64_t>(want);
    length -= static_cast<int64_t>(want);
  }
  return ctx->digest();
}

void digest(unsigned char* out, size_t outLength, MessageDigest* ctx, const void* data,
            size_t length) {
  size_t required = ctx->getDigestLength();
  if (outLength < required) {
    throw DL_ABORT_EX(
        fmt("Insufficient space for storing message digest: %lu required, but only %lu is "
            "allocated",
            static_cast<unsigned long>(required), static_cast<unsigned long>(outLength)));
  }
  ctx->update(data, length);
  ctx->digest(out);
}

}  // namespace message_digest
}  // namespace quarn
