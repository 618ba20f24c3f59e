#pragma once

#include "client/auth/AbstractAuthResolver.h"

namespace quarn {

// The user-defined credential, else the default one; the host plays no part.
class DefaultAuthResolver : public AbstractAuthResolver {
 public:
  std::unique_ptr<AuthConfig> resolveAuthConfig(const std::string& hostname) override;
};

}  // namespace quarn
