#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace quarn {
namespace utf8 {

inline constexpr size_t NO_LIMIT = std::numeric_limits<size_t>::max();

// Decodes bytes as UTF-8 and returns them as valid UTF-8, each invalid sequence
// (each maximal subpart of one) replaced by U+FFFD. Stops after maxChars
// characters (Unicode scalar values).
std::string decodeLossy(std::string_view bytes, size_t maxChars = NO_LIMIT);

// Length of the well-formed UTF-8 sequence that starts at bytes[pos], or 0 when
// none starts there.
size_t sequenceLength(std::string_view bytes, size_t pos);

// The scalar value of the well-formed sequence of the given length at bytes[pos].
char32_t codePointAt(std::string_view bytes, size_t pos, size_t length);

}  // namespace utf8
}  // namespace quarn
