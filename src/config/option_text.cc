#include "config/option_text.h"

#include "foundation/util_string.h"

namespace quarn::option_text {

std::pair<std::string, std::string> divideStripped(const std::string& text, char delim) {
  auto [head, tail] = util::divide(text.begin(), text.end(), delim, true);
  return {std::string(head.first, head.second), std::string(tail.first, tail.second)};
}

}  // namespace quarn::option_text
