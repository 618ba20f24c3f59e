#include "foundation/MessageDigestImpl.h"

#include "foundation/Adler32MessageDigestImpl.h"
#include "foundation/MessageDigestBase.h"

namespace quarn {

std::unique_ptr<MessageDigestImpl> MessageDigestImpl::sha1() {
  return std::make_unique<MessageDigestSHA1>();
}

const MessageDigestImpl::Hashes MessageDigestImpl::hashes = {
    {"sha-1", make_hi<MessageDigestSHA1>()},          {"sha-224", make_hi<MessageDigestSHA224>()},
    {"sha-256", make_hi<MessageDigestSHA256>()},      {"sha-384", make_hi<MessageDigestSHA384>()},
    {"sha-512", make_hi<MessageDigestSHA512>()},      {"md5", make_hi<MessageDigestMD5>()},
    {"adler32", make_hi<Adler32MessageDigestImpl>()},
};

}  // namespace quarn
