#include "foundation/paramed_string.h"

#include <algorithm>
#include <functional>
#include <iterator>

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/util_chars.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"

namespace quarn {
namespace paramed_string {

namespace {

constexpr uint32_t MAX_LOOP_VALUE = 65535;

size_t totalSize(const std::vector<std::string>& res) {
  size_t bytes = 0;
  for (const auto& partial : res) {
    bytes += partial.size();
  }
  return bytes;
}

void checkExpandedBytes(size_t bytes) {
  if (bytes > MAX_EXPANDED_BYTES) {
    throw DL_ABORT_EX(
        fmt("The parameterized string expands to more than %zu bytes.", MAX_EXPANDED_BYTES));
  }
}

// Replaces res by every partial result followed by every suffix, refusing a
// product beyond MAX_EXPANSIONS or MAX_EXPANDED_BYTES before building it.
void extend(std::vector<std::string>& res, const std::vector<std::string>& suffixes) {
  if (!suffixes.empty() && res.size() > MAX_EXPANSIONS / suffixes.size()) {
    throw DL_ABORT_EX(
        fmt("Too many expansions of the parameterized string: more than %zu.", MAX_EXPANSIONS));
  }
  // Both products stay far below the size_t range: the partial results already
  // hold at most MAX_EXPANDED_BYTES, and there are at most MAX_EXPANSIONS of them.
  checkExpandedBytes(totalSize(res) * suffixes.size() + res.size() * totalSize(suffixes));
  std::vector<std::string> next;
  next.reserve(res.size() * suffixes.size());
  for (const auto& partial : res) {
    for (const auto& suffix : suffixes) {
      next.push_back(partial + suffix);
    }
  }
  res.swap(next);
}

bool allOf(Iterator first, Iterator last, bool (*pred)(char)) {
  return first != last && std::all_of(first, last, pred);
}

bool isDigitChar(char c) {
  return util::isDigit(c);
}
bool isLower(char c) {
  return 'a' <= c && c <= 'z';
}
bool isUpper(char c) {
  return 'A' <= c && c <= 'Z';
}

uint32_t parseLoopNumber(Iterator first, Iterator last) {
  uint32_t value;
  if (!util::parseUIntNoThrow(value, std::string(first, last))) {
    throw DL_ABORT_EX("Loop range missing.");
  }
  if (value > MAX_LOOP_VALUE) {
    throw DL_ABORT_EX("Loop range overflow.");
  }
  return value;
}

}  // namespace

std::string toBase26(uint32_t value, char zero, size_t width) {
  std::string digits;
  do {
    digits += static_cast<char>(zero + value % 26);
    value /= 26;
  } while (value);
  if (digits.size() < width) {
    digits.append(width - digits.size(), zero);
  }
  std::reverse(digits.begin(), digits.end());
  return digits;
}

uint32_t fromBase26(Iterator first, Iterator last, char zero) {
  uint32_t value = 0;
  for (; first != last; ++first) {
    value = value * 26 + static_cast<uint32_t>(*first - zero);
    if (value > MAX_LOOP_VALUE) {
      throw DL_ABORT_EX("Loop range overflow.");
    }
  }
  return value;
}

Iterator expandChoice(std::vector<std::string>& res, Iterator first, Iterator last) {
  ++first;
  auto close = std::find(first, last, '}');
  if (close == last) {
    throw DL_ABORT_EX("Missing '}' in the parameterized string.");
  }
  std::vector<std::string> choices;
  util::split(first, close, std::back_inserter(choices), ',', true);
  extend(res, choices);
  return close + 1;
}

Iterator expandLoop(std::vector<std::string>& res, Iterator first, Iterator last) {
  ++first;
  auto close = std::find(first, last, ']');
  if (close == last) {
    throw DL_ABORT_EX("Missing ']' in the parameterized string.");
  }
  auto colon = std::find(first, close, ':');
  uint32_t step = 1;
  if (colon != close) {
    if (!util::parseUIntNoThrow(step, std::string(colon + 1, close)) || step == 0) {
      throw DL_ABORT_EX("A step count must be a positive number.");
    }
    if (step > MAX_LOOP_VALUE) {
      throw DL_ABORT_EX("Loop step overflow.");
    }
  }
  auto dash = std::find(first, colon, '-');
  if (dash == colon) {
    throw DL_ABORT_EX("Loop range missing.");
  }
  auto startFirst = first, startLast = dash, endFirst = dash + 1, endLast = colon;
  bool sameWidth = (startLast - startFirst) == (endLast - endFirst);
  uint32_t start, end;
  std::function<std::string(uint32_t)> format;
  if (allOf(startFirst, startLast, isDigitChar) && allOf(endFirst, endLast, isDigitChar)) {
    start = parseLoopNumber(startFirst, startLast);
    end = parseLoopNumber(endFirst, endLast);
    if (sameWidth) {
      std::string numberFormat = fmt("%%0%lud", static_cast<unsigned long>(startLast - startFirst));
      format = [numberFormat](uint32_t v) { return fmt(numberFormat.c_str(), v); };
    } else {
      format = [](uint32_t v) { return fmt("%d", v); };
    }
  } else if ((allOf(startFirst, startLast, isLower) && allOf(endFirst, endLast, isLower)) ||
             (allOf(startFirst, startLast, isUpper) && allOf(endFirst, endLast, isUpper))) {
    char zero = isLower(*startFirst) ? 'a' : 'A';
    start = fromBase26(startFirst, startLast, zero);
    end = fromBase26(endFirst, endLast, zero);
    size_t width = sameWidth ? static_cast<size_t>(startLast - startFirst) : 0;
    format = [zero, width](uint32_t v) { return toBase26(v, zero, width); };
  } else {
    throw DL_ABORT_EX("Invalid loop range.");
  }
  if (start <= end) {
    std::vector<std::string> values;
    for (uint32_t v = start; v <= end; v += step) {
      values.push_back(format(v));
    }
    extend(res, values);
  }
  return close + 1;
}

void expand(Iterator first, Iterator last, std::vector<std::string>& out) {
  std::vector<std::string> res{""};
  while (true) {
    auto open = std::find_if(first, last, [](char c) { return c == '[' || c == '{'; });
    checkExpandedBytes(totalSize(res) + res.size() * static_cast<size_t>(open - first));
    for (auto& partial : res) {
      partial.append(first, open);
    }
    if (open == last) {
      break;
    }
    first = *open == '{' ? expandChoice(res, open, last) : expandLoop(res, open, last);
  }
  if (res.size() == 1 && res[0].empty()) {
    return;
  }
  std::move(res.begin(), res.end(), std::back_inserter(out));
}

}  // namespace paramed_string
}  // namespace quarn
