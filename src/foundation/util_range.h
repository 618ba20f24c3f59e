#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/SegList.h"

namespace quarn {

namespace util {

// Where one file lies within a download's bytes.
struct FileSpan {
  int64_t offset;
  int64_t length;
};

// The ranges of a list such as "1,3-5,8", not yet normalised. Throws
// DlAbortEx for a malformed item or one reaching the largest int.
SegList<int> parseIntSegments(const std::string& src);

// Appends, sorted and without duplicates, the indexes of the pieces that the
// rules ("head", "head=SIZE", "tail", "tail=SIZE") select in every file.
// Throws DlAbortEx for an unknown rule or a bad size.
void parsePrioritizePieceRange(std::vector<size_t>& result, const std::string& src,
                               const std::vector<FileSpan>& fileEntries, size_t pieceLength,
                               int64_t defaultSize = 1048576);

}  // namespace util
}  // namespace quarn
