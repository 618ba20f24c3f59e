#pragma once

#include <string>
#include <utility>

namespace quarn::option_text {

// The text before the first `delim` and the text after it, both stripped of
// blanks; without a delimiter the second part is empty.
std::pair<std::string, std::string> divideStripped(const std::string& text, char delim);

}  // namespace quarn::option_text
