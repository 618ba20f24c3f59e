#include "client/auth/AuthConfig.h"

namespace quarn {

AuthConfig::AuthConfig(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password)) {}

std::unique_ptr<AuthConfig> AuthConfig::create(std::string user, std::string password) {
  if (user.empty()) {
    return nullptr;
  }
  return std::make_unique<AuthConfig>(std::move(user), std::move(password));
}

}  // namespace quarn
