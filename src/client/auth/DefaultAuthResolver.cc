#include "client/auth/DefaultAuthResolver.h"

namespace quarn {

std::unique_ptr<AuthConfig> DefaultAuthResolver::resolveAuthConfig(const std::string&) {
  auto authConfig = getUserDefinedAuthConfig();
  return authConfig ? std::move(authConfig) : getDefaultAuthConfig();
}

}  // namespace quarn
