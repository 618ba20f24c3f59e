#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarn {

class BinaryStream;
class MessageDigest;

namespace message_digest {

// Feeds length bytes of the stream from offset into ctx (not reset first) and
// returns the raw digest. Throws DlAbortEx when the stream ends early.
std::string digest(MessageDigest* ctx, BinaryStream* bs, int64_t offset, int64_t length);

// Digests the bytes into out. Throws DlAbortEx when outLength is too small.
void digest(unsigned char* out, size_t outLength, MessageDigest* ctx, const void* data,
            size_t length);

}  // namespace message_digest

}  // namespace quarn
