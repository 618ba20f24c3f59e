#include "client/auth/AuthConfigFactory.h"

#include "client/auth/DefaultAuthResolver.h"
#include "client/auth/NetrcAuthResolver.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "foundation/util_string.h"
#include "storage/Request.h"

namespace quarn {

const std::string AuthConfigFactory::AUTH_DEFAULT_USER = "anonymous";
const std::string AuthConfigFactory::AUTH_DEFAULT_PASSWD = "KELP4ANON@";

AuthConfigFactory::AuthConfigFactory() = default;

AuthConfigFactory::~AuthConfigFactory() = default;

void AuthConfigFactory::setNetrc(std::unique_ptr<Netrc> netrc) {
  netrc_ = std::move(netrc);
}

std::unique_ptr<AuthConfig> AuthConfigFactory::createAuthConfig(
    const std::shared_ptr<Request>& request, const Option* op) {
  const std::string& protocol = request->getProtocol();
  if (protocol == "http" || protocol == "https") {
    return createHttpAuthConfig(*request, op);
  }
  if (protocol == "ftp" || protocol == "sftp") {
    return createFtpAuthConfig(*request, op);
  }
  return nullptr;
}

std::unique_ptr<AuthConfig> AuthConfigFactory::createHttpAuthConfig(const Request& request,
                                                                    const Option* op) {
  if (op->getAsBool(PREF_HTTP_AUTH_CHALLENGE)) {
    if (!request.getUsername().empty()) {
      updateBasicCred(std::make_unique<BasicCred>(request.getUsername(), request.getPassword(),
                                                  request.getHost(), request.getPort(),
                                                  request.getDir(), true));
      return AuthConfig::create(request.getUsername(), request.getPassword());
    }
    auto i = findBasicCred(request.getHost(), request.getPort(), request.getDir());
    if (i == basicCreds_.end()) {
      // The first request goes without credentials until a 401 asks for them.
      return nullptr;
    }
    return AuthConfig::create((*i)->user, (*i)->password);
  }
  if (!request.getUsername().empty()) {
    return AuthConfig::create(request.getUsername(), request.getPassword());
  }
  return createHttpAuthResolver(op, credScopeOf(request))->resolveAuthConfig(request.getHost());
}

AuthConfigFactory::CredScope AuthConfigFactory::credScopeOf(const Request& request) {
  if (request.onGivenOrigin()) {
    return CredScope::GIVEN_ORIGIN;
  }
  return request.onGivenHost() ? CredScope::NONE : CredScope::OTHER_HOST;
}

std::unique_ptr<AuthConfig> AuthConfigFactory::createFtpAuthConfig(const Request& request,
                                                                   const Option* op) {
  if (request.getUsername().empty()) {
    return createFtpAuthResolver(op)->resolveAuthConfig(request.getHost());
  }
  if (request.hasPassword()) {
    return AuthConfig::create(request.getUsername(), request.getPassword());
  }
  if (!op->getAsBool(PREF_NO_NETRC)) {
    NetrcAuthResolver resolver;
    resolver.setNetrc(netrc_.get());
    auto authConfig = resolver.resolveAuthConfig(request.getHost());
    if (authConfig && authConfig->getUser() == request.getUsername()) {
      return authConfig;
    }
  }
  return AuthConfig::create(request.getUsername(), op->get(PREF_FTP_PASSWD));
}

std::unique_ptr<AuthResolver> AuthConfigFactory::createHttpAuthResolver(const Option* op,
                                                                        CredScope scope) const {
  std::unique_ptr<AbstractAuthResolver> resolver;
  if (op->getAsBool(PREF_NO_NETRC) || scope == CredScope::NONE) {
    resolver = std::make_unique<DefaultAuthResolver>();
  } else {
    auto netrcResolver = std::make_unique<NetrcAuthResolver>();
    netrcResolver->setNetrc(netrc_.get());
    // The netrc "default" entry is meant for FTP logins, never for HTTP.
    netrcResolver->ignoreDefault();
    resolver = std::move(netrcResolver);
  }
  if (scope == CredScope::GIVEN_ORIGIN) {
    resolver->setUserDefinedCred(op->get(PREF_HTTP_USER), op->get(PREF_HTTP_PASSWD));
  }
  return resolver;
}

std::unique_ptr<AuthResolver> AuthConfigFactory::createFtpAuthResolver(const Option* op) const {
  std::unique_ptr<AbstractAuthResolver> resolver;
  if (op->getAsBool(PREF_NO_NETRC)) {
    resolver = std::make_unique<DefaultAuthResolver>();
  } else {
    auto netrcResolver = std::make_unique<NetrcAuthResolver>();
    netrcResolver->setNetrc(netrc_.get());
    resolver = std::move(netrcResolver);
  }
  resolver->setUserDefinedCred(op->get(PREF_FTP_USER), op->get(PREF_FTP_PASSWD));
  resolver->setDefaultCred(AUTH_DEFAULT_USER, AUTH_DEFAULT_PASSWD);
  return resolver;
}

void AuthConfigFactory::updateBasicCred(std::unique_ptr<BasicCred> basicCred) {
  auto i = basicCreds_.find(basicCred);
  if (i == basicCreds_.end()) {
    basicCreds_.insert(std::move(basicCred));
    return;
  }
  (*i)->user = std::move(basicCred->user);
  (*i)->password = std::move(basicCred->password);
  (*i)->activated = basicCred->activated;
}

AuthConfigFactory::BasicCredSet::iterator AuthConfigFactory::findBasicCred(
    const std::string& host, uint16_t port, const std::string& path) {
  auto key = std::make_unique<BasicCred>("", "", host, port, path);
  for (auto i = basicCreds_.lower_bound(key);
       i != basicCreds_.end() && (*i)->host == host && (*i)->port == port; ++i) {
    if (util::startsWith(key->path, (*i)->path)) {
      return i;
    }
  }
  return basicCreds_.end();
}

bool AuthConfigFactory::activateBasicCred(const std::string& host, uint16_t port,
                                          const std::string& path, const Option* op,
                                          CredScope scope) {
  auto i = findBasicCred(host, port, path);
  if (i != basicCreds_.end()) {
    (*i)->activate();
    return true;
  }
  auto authConfig = createHttpAuthResolver(op, scope)->resolveAuthConfig(host);
  if (!authConfig) {
    return false;
  }
  basicCreds_.insert(std::make_unique<BasicCred>(authConfig->getUser(), authConfig->getPassword(),
                                                 host, port, path, true));
  return true;
}

AuthConfigFactory* authConfigFactory(DownloadEngine* engine) {
  if (auto* factory = engine->getService<AuthConfigFactory>()) {
    return factory;
  }
  engine->setService(std::make_unique<AuthConfigFactory>());
  return engine->getService<AuthConfigFactory>();
}

}  // namespace quarn
