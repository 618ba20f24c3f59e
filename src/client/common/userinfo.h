#pragma once

#include <string>

namespace quarn {
namespace userinfo {

// The URI without its "user:password@" part; unchanged when it has none.
std::string erase(const std::string& uri);

}  // namespace userinfo
}  // namespace quarn
