#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "client/auth/AuthConfig.h"
#include "client/auth/AuthResolver.h"
#include "client/auth/BasicCred.h"
#include "client/auth/Netrc.h"
#include "engine/EngineService.h"

namespace quarn {

class DownloadEngine;

class Option;
class Request;

// Decides the user name and password of every HTTP, FTP and SFTP request, from
// the URI, the options, the netrc file and the built-in anonymous FTP login,
// and caches HTTP Basic credentials per host, port and directory.
class AuthConfigFactory : public EngineService {
 public:
  static const std::string AUTH_DEFAULT_USER;
  static const std::string AUTH_DEFAULT_PASSWD;

  AuthConfigFactory();
  ~AuthConfigFactory();
  AuthConfigFactory(const AuthConfigFactory&) = delete;
  AuthConfigFactory& operator=(const AuthConfigFactory&) = delete;

  // Null when no credentials apply.
  std::unique_ptr<AuthConfig> createAuthConfig(const std::shared_ptr<Request>& request,
                                               const Option* op);

  void setNetrc(std::unique_ptr<Netrc> netrc);

  // Which of the user's credentials a request may carry. Those of the options
  // and of netrc belong to the URI the user gave: a redirect to another port
  // or from https to http takes none along, one to another host only that
  // host's own netrc entry.
  enum class CredScope { GIVEN_ORIGIN, OTHER_HOST, NONE };
  static CredScope credScopeOf(const Request& request);

  // True when a credential for the place is now cached.
  bool activateBasicCred(const std::string& host, uint16_t port, const std::string& path,
                         const Option* op, CredScope scope = CredScope::GIVEN_ORIGIN);

  struct DerefLess {
    bool operator()(const std::unique_ptr<BasicCred>& a,
                    const std::unique_ptr<BasicCred>& b) const {
      return *a < *b;
    }
  };
  using BasicCredSet = std::set<std::unique_ptr<BasicCred>, DerefLess>;

  void updateBasicCred(std::unique_ptr<BasicCred> basicCred);
  BasicCredSet::iterator findBasicCred(const std::string& host, uint16_t port,
                                       const std::string& path);

  std::unique_ptr<AuthResolver> createHttpAuthResolver(
      const Option* op, CredScope scope = CredScope::GIVEN_ORIGIN) const;
  std::unique_ptr<AuthResolver> createFtpAuthResolver(const Option* op) const;

  const BasicCredSet& getBasicCreds() const { return basicCreds_; }

 private:
  std::unique_ptr<AuthConfig> createHttpAuthConfig(const Request& request, const Option* op);
  std::unique_ptr<AuthConfig> createFtpAuthConfig(const Request& request, const Option* op);

  std::unique_ptr<Netrc> netrc_;
  BasicCredSet basicCreds_;
};

// The engine's credential factory, made empty on first use.
AuthConfigFactory* authConfigFactory(DownloadEngine* engine);

}  // namespace quarn
