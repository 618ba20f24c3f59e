#include "client/common/proxy_select.h"

#include <vector>

#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/uri.h"
#include "foundation/util_address.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"
#include "net/net_address.h"
#include "storage/Request.h"

namespace quarn {

std::string makeProxyUri(const Pref* proxyPref, const Pref* proxyUserPref,
                         const Pref* proxyPasswdPref, const Option* option) {
  uri::UriStruct us;
  if (!uri::parse(us, option->get(proxyPref))) {
    return "";
  }
  if (option->defined(proxyUserPref)) {
    us.username = option->get(proxyUserPref);
  }
  if (option->defined(proxyPasswdPref)) {
    us.password = option->get(proxyPasswdPref);
    us.hasPassword = true;
  }
  return uri::construct(us);
}

std::string getProxyOptionFor(const Pref* proxyPref, const Pref* proxyUserPref,
                              const Pref* proxyPasswdPref, const Option* option) {
  std::string uri = makeProxyUri(proxyPref, proxyUserPref, proxyPasswdPref, option);
  if (uri.empty()) {
    return makeProxyUri(PREF_ALL_PROXY, PREF_ALL_PROXY_USER, PREF_ALL_PROXY_PASSWD, option);
  }
  return uri;
}

std::string getProxyUri(const std::string& protocol, const Option* option) {
  if (protocol == "http") {
    return getProxyOptionFor(PREF_HTTP_PROXY, PREF_HTTP_PROXY_USER, PREF_HTTP_PROXY_PASSWD, option);
  }
  if (protocol == "https") {
    return getProxyOptionFor(PREF_HTTPS_PROXY, PREF_HTTPS_PROXY_USER, PREF_HTTPS_PROXY_PASSWD,
                             option);
  }
  if (protocol == "ftp" || protocol == "sftp") {
    return getProxyOptionFor(PREF_FTP_PROXY, PREF_FTP_PROXY_USER, PREF_FTP_PROXY_PASSWD, option);
  }
  return "";
}

bool isProxyRequest(const std::string& protocol, const std::shared_ptr<Option>& option) {
  return !getProxyUri(protocol, option.get()).empty();
}

bool inNoProxy(const std::shared_ptr<Request>& req, const std::string& noProxy) {
  std::vector<std::string> entries;
  util::split(noProxy.begin(), noProxy.end(), std::back_inserter(entries), ',', true);
  for (const auto& entry : entries) {
    auto slash = entry.find('/');
    if (slash == std::string::npos) {
      if (util::noProxyDomainMatch(req->getHost(), entry)) {
        return true;
      }
      continue;
    }
    uint32_t bits;
    if (!util::parseUIntNoThrow(bits, entry.substr(slash + 1))) {
      continue;
    }
    if (net::inSameCidrBlock(entry.substr(0, slash), req->getHost(), bits)) {
      return true;
    }
  }
  return false;
}

std::string resolveProxyMethod(const std::string& protocol, const Option* option) {
  if (option->get(PREF_PROXY_METHOD) == V_TUNNEL || protocol == "https" || protocol == "sftp") {
    return V_TUNNEL;
  }
  return V_GET;
}

}  // namespace quarn
