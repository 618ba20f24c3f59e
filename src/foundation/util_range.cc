#include "foundation/util_range.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <vector>

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"

namespace quarn {
namespace util {

namespace {

// Reads one range bound. The largest int is refused because the exclusive
// end one past it cannot be represented.
int32_t parseRangeBound(const std::string& text, const std::string& item) {
  int32_t value;
  if (!parseIntNoThrow(value, text) || value == std::numeric_limits<int32_t>::max()) {
    throw DL_ABORT_EX(fmt("Bad range %s", item.c_str()));
  }
  return value;
}

size_t pieceIndex(int64_t offset, size_t pieceLength) {
  return pieceLength == 0 ? 0 : static_cast<size_t>(offset) / pieceLength;
}

void addPieces(std::vector<size_t>& indexes, int64_t first, int64_t last, size_t pieceLength) {
  for (size_t i = pieceIndex(first, pieceLength), end = pieceIndex(last, pieceLength); i <= end;
       ++i) {
    indexes.push_back(i);
  }
}

void computeHeadPieces(std::vector<size_t>& indexes, const std::vector<FileSpan>& fileEntries,
                       size_t pieceLength, int64_t head) {
  if (head <= 0) {
    return;
  }
  for (const auto& fe : fileEntries) {
    if (fe.length == 0) {
      continue;
    }
    int64_t span = std::min(fe.length, head);
    addPieces(indexes, fe.offset, fe.offset + span - 1, pieceLength);
  }
}

void computeTailPieces(std::vector<size_t>& indexes, const std::vector<FileSpan>& fileEntries,
                       size_t pieceLength, int64_t tail) {
  if (tail <= 0) {
    return;
  }
  for (const auto& fe : fileEntries) {
    if (fe.length == 0) {
      continue;
    }
    int64_t span = std::min(fe.length, tail);
    int64_t end = fe.offset + fe.length;
    addPieces(indexes, end - span, end - 1, pieceLength);
  }
}

}  // namespace

SegList<int> parseIntSegments(const std::string& src) {
  SegList<int> sgl;
  std::vector<std::string> items;
  split(src.begin(), src.end(), std::back_inserter(items), ',');
  for (const auto& item : items) {
    auto dash = item.find('-');
    if (dash == std::string::npos) {
      int32_t value = parseRangeBound(item, item);
      sgl.add(value, value + 1);
      continue;
    }
    if (item.front() == '-' || item.back() == '-') {
      throw DL_ABORT_EX(fmt(_("Incomplete range specified. %s"), item.c_str()));
    }
    int32_t start = parseRangeBound(item.substr(0, dash), item);
    int32_t end = parseRangeBound(item.substr(dash + 1), item);
    sgl.add(start, end + 1);
  }
  return sgl;
}

void parsePrioritizePieceRange(std::vector<size_t>& result, const std::string& src,
                               const std::vector<FileSpan>& fileEntries, size_t pieceLength,
                               int64_t defaultSize) {
  std::vector<size_t> indexes;
  std::vector<std::string> items;
  split(src.begin(), src.end(), std::back_inserter(items), ',', true);
  for (const auto& item : items) {
    bool head = item.starts_with("head");
    bool tail = item.starts_with("tail");
    int64_t size;
    if ((head || tail) && item.size() == 4) {
      size = defaultSize;
    } else if ((head || tail) && item[4] == '=') {
      size = getRealSize(item.substr(5));
    } else {
      throw DL_ABORT_EX(fmt("Unrecognized token %s", item.c_str()));
    }
    if (head) {
      computeHeadPieces(indexes, fileEntries, pieceLength, size);
    } else {
      computeTailPieces(indexes, fileEntries, pieceLength, size);
    }
  }
  std::sort(indexes.begin(), indexes.end());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  result.insert(result.end(), indexes.begin(), indexes.end());
}

}  // namespace util
}  // namespace quarn
