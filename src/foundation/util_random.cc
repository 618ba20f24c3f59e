#include "foundation/util_random.h"

#include <array>

#include "foundation/MessageDigest.h"
#include "foundation/SimpleRandomizer.h"

namespace quarn {
namespace util {

void generateRandomData(unsigned char* data, size_t length) {
  SimpleRandomizer::getInstance()->getRandomBytes(data, length);
}

void generateRandomKey(unsigned char* key) {
  std::array<unsigned char, 40> bytes;
  generateRandomData(bytes.data(), bytes.size());
  auto md = MessageDigest::sha1();
  md->update(bytes.data(), bytes.size());
  md->digest(key);
}

}  // namespace util
}  // namespace quarn
