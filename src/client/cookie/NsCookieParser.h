#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/cookie/Cookie.h"

namespace quarn {

// Reads cookies from a Netscape-format text file: one cookie per line, fields
// separated by TAB.
class NsCookieParser {
 public:
  std::vector<std::unique_ptr<Cookie>> parse(const std::string& filename, int64_t creationTime);
};

}  // namespace quarn
