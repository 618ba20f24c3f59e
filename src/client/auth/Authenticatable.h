#pragma once

#include <string>

namespace quarn {

// Something that holds credentials for the hosts it matches.
class Authenticatable {
 public:
  virtual ~Authenticatable() = default;
  virtual bool match(const std::string& hostname) const = 0;
};

}  // namespace quarn
