#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace quarn {

// Node ids and info hashes are 160-bit numbers.
inline constexpr size_t DHT_ID_LENGTH = 20;
// The k of the k-buckets: nodes kept per bucket and nodes given per reply.
inline constexpr size_t DHT_BUCKET_SIZE = 8;
inline constexpr size_t DHT_CACHE_SIZE = 2;
inline constexpr size_t DHT_TOKEN_LENGTH = 20;
inline constexpr size_t DHT_TRANSACTION_ID_LENGTH = 4;
// Silence after which a node, or a bucket, needs to be heard from again.
inline constexpr std::chrono::nanoseconds DHT_NODE_CONTACT_INTERVAL{899'999'999'999};
inline constexpr int DHT_BAD_CONDITION = 5;

// The 20 bytes of an id as a byte string, as they go on the wire.
inline std::string dhtIdString(const unsigned char* id) {
  return std::string(reinterpret_cast<const char*>(id), DHT_ID_LENGTH);
}

}  // namespace quarn
