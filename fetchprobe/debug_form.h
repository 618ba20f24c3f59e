#pragma once

#include <string>
#include <string_view>

namespace quarn {
namespace debug_form {

// The text in double quotes, with backslash escapes for quotes, backslashes and
// control characters; bytes that are not UTF-8 appear as \xNN.
std::string quoted(std::string_view text);

}  // namespace debug_form
}  // namespace quarn
