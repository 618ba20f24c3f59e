#pragma once

#include "client/auth/AbstractAuthResolver.h"

namespace quarn {

class Netrc;

// The user-defined credential, else the netrc entry for the host, else the
// default credential.
class NetrcAuthResolver : public AbstractAuthResolver {
 public:
  std::unique_ptr<AuthConfig> resolveAuthConfig(const std::string& hostname) override;

  void setNetrc(const Netrc* netrc) { netrc_ = netrc; }
  // Whether the netrc "default" entry is passed over.
  void ignoreDefault() { ignoreDefaultEntry_ = true; }
  void useDefault() { ignoreDefaultEntry_ = false; }

  std::unique_ptr<AuthConfig> findNetrcAuthenticator(const std::string& hostname) const;

 private:
  const Netrc* netrc_ = nullptr;
  bool ignoreDefaultEntry_ = false;
};

}  // namespace quarn
