#include "foundation/SHA1IOFile.h"

#include <cassert>

#include "foundation/MessageDigest.h"

namespace quarn {

SHA1IOFile::SHA1IOFile() : sha1_(MessageDigest::sha1()) {}

SHA1IOFile::~SHA1IOFile() = default;

std::string SHA1IOFile::digest() {
  return sha1_->digest();
}

size_t SHA1IOFile::onRead(void*, size_t) {
  assert(false);
  return 0;
}

size_t SHA1IOFile::onWrite(const void* ptr, size_t count) {
  sha1_->update(ptr, count);
  return count;
}

char* SHA1IOFile::onGets(char*, int) {
  assert(false);
  return nullptr;
}

int SHA1IOFile::onVprintf(const char*, va_list) {
  assert(false);
  return -1;
}

}  // namespace quarn
