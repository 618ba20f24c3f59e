#pragma once

#include <cstddef>

namespace quarn {
namespace util {

// Fills the buffer with secure random bytes.
void generateRandomData(unsigned char* data, size_t length);

// Fills the 20-byte buffer with the SHA-1 digest of 40 fresh random bytes.
void generateRandomKey(unsigned char* key);

}  // namespace util
}  // namespace quarn
