#include "client/auth/NetrcAuthResolver.h"

#include "client/auth/Netrc.h"

namespace quarn {

std::unique_ptr<AuthConfig> NetrcAuthResolver::resolveAuthConfig(const std::string& hostname) {
  auto authConfig = getUserDefinedAuthConfig();
  return authConfig ? std::move(authConfig) : findNetrcAuthenticator(hostname);
}

std::unique_ptr<AuthConfig> NetrcAuthResolver::findNetrcAuthenticator(
    const std::string& hostname) const {
  if (!netrc_) {
    return getDefaultAuthConfig();
  }
  const Authenticator* entry = netrc_->findAuthenticator(hostname);
  if (!entry || (ignoreDefaultEntry_ && entry->getMachine().empty())) {
    return getDefaultAuthConfig();
  }
  // Built directly: an entry with an empty login still gives credentials.
  return std::make_unique<AuthConfig>(entry->getLogin(), entry->getPassword());
}

}  // namespace quarn
