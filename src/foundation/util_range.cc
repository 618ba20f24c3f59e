#include "foundation/util_range.h"

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

}  // namespace util
}  // namespace quarn
