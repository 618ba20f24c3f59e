#pragma once

#include "client/auth/Authenticator.h"

namespace quarn {

// The "default" entry of a netrc file: it matches every host.
class DefaultAuthenticator : public Authenticator {
 public:
  DefaultAuthenticator() = default;
  DefaultAuthenticator(std::string login, std::string password, std::string account)
      : Authenticator("", std::move(login), std::move(password), std::move(account)) {}

  bool match(const std::string&) const override { return true; }
};

}  // namespace quarn
