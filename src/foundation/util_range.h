#pragma once

#include <string>

#include "foundation/SegList.h"

namespace quarn {
namespace util {

// The ranges of a list such as "1,3-5,8", not yet normalised. Throws
// DlAbortEx for a malformed item or one reaching the largest int.
SegList<int> parseIntSegments(const std::string& src);

}  // namespace util
}  // namespace quarn
