#pragma once

#include <cstddef>

namespace quarn {
namespace dht {

// The routing-table file: a 56-byte header, then one 56-byte record per node.
inline constexpr size_t FILE_HEADER_LENGTH = 56;
inline constexpr size_t FILE_RECORD_LENGTH = 56;
// Magic, format id, reserved bytes and version of the header as written...
inline constexpr unsigned char FILE_HEADER_V3[8] = {0xa1, 0xa2, 0x02, 0x00, 0x00, 0x00, 0x00, 0x03};
// ...and of the older layout with a 32-bit save time, still read.
inline constexpr unsigned char FILE_HEADER_V2[8] = {0xa1, 0xa2, 0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
// A record's compact address sits in a 24-byte field at this offset.
inline constexpr size_t FILE_RECORD_ADDR_OFFSET = 8;
inline constexpr size_t FILE_RECORD_ADDR_FIELD = 24;

}  // namespace dht
}  // namespace quarn
