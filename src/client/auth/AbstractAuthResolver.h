#pragma once

#include <string>

#include "client/auth/AuthResolver.h"

namespace quarn {

// A resolver with a user-defined credential (from options) and a default
// credential to fall back on.
class AbstractAuthResolver : public AuthResolver {
 public:
  void setUserDefinedCred(std::string user, std::string password);
  std::unique_ptr<AuthConfig> getUserDefinedAuthConfig() const;
  void setDefaultCred(std::string user, std::string password);
  std::unique_ptr<AuthConfig> getDefaultAuthConfig() const;

 private:
  std::string userDefinedUser_;
  std::string userDefinedPassword_;
  std::string defaultUser_;
  std::string defaultPassword_;
};

}  // namespace quarn
