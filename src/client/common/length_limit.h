#pragma once

#include <cstdint>

namespace quarn {

// The most pieces one download may have: each piece costs a few bytes of
// bookkeeping (bit arrays, piece statistics), so a size a server made up
// must not decide how much memory the client takes.
constexpr int64_t MAX_PIECES_PER_DOWNLOAD = int64_t{1} << 24;

// Throws DlAbortEx when a server-announced file length would need more than
// MAX_PIECES_PER_DOWNLOAD pieces of the given length; call it before any
// storage is built for that length.
void checkAnnouncedLength(int64_t length, int32_t pieceLength);

}  // namespace quarn
