#include "client/auth/AbstractAuthResolver.h"

namespace quarn {

void AbstractAuthResolver::setUserDefinedCred(std::string user, std::string password) {
  userDefinedUser_ = std::move(user);
  userDefinedPassword_ = std::move(password);
}

std::unique_ptr<AuthConfig> AbstractAuthResolver::getUserDefinedAuthConfig() const {
  return AuthConfig::create(userDefinedUser_, userDefinedPassword_);
}

void AbstractAuthResolver::setDefaultCred(std::string user, std::string password) {
  defaultUser_ = std::move(user);
  defaultPassword_ = std::move(password);
}

std::unique_ptr<AuthConfig> AbstractAuthResolver::getDefaultAuthConfig() const {
  return AuthConfig::create(defaultUser_, defaultPassword_);
}

}  // namespace quarn
