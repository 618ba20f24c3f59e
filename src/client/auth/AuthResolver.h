#pragma once

#include <memory>
#include <string>

#include "client/auth/AuthConfig.h"

namespace quarn {

// Finds the credentials for a host.
class AuthResolver {
 public:
  virtual ~AuthResolver() = default;
  // Null when there are none.
  virtual std::unique_ptr<AuthConfig> resolveAuthConfig(const std::string& hostname) = 0;
};

}  // namespace quarn
