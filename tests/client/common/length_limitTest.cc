#include "client/common/length_limit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "foundation/DlAbortEx.h"

namespace quarn {
namespace {

TEST(LengthLimitTest, RefusesLengthsNeedingTooManyPieces) {
  constexpr int32_t MIB = 1 << 20;
  constexpr int64_t MAX = std::numeric_limits<int64_t>::max();
  struct Case {
    int64_t length;
    int32_t pieceLength;
    bool refused;
  } cases[] = {
      {0, MIB, false},
      {1, MIB, false},
      {MAX_PIECES_PER_DOWNLOAD * MIB, MIB, false},
      {MAX_PIECES_PER_DOWNLOAD * MIB + 1, MIB, true},
      {MAX_PIECES_PER_DOWNLOAD * MIB + 1, 2 * MIB, false},
      {MAX, MIB, true},
      {MAX, std::numeric_limits<int32_t>::max(), true},
      {MAX - 1, 1, true},
  };
  for (const auto& c : cases) {
    if (c.refused) {
      EXPECT_THROW(checkAnnouncedLength(c.length, c.pieceLength), DlAbortEx) << c.length;
    } else {
      EXPECT_NO_THROW(checkAnnouncedLength(c.length, c.pieceLength)) << c.length;
    }
  }
}

}  // namespace
}  // namespace quarn
