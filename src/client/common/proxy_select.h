#pragma once

#include <memory>
#include <string>

namespace quarn {

class Option;
class Pref;
class Request;

// Which proxy a client connection goes through, and how.

// The proxy URI for the protocol, with the proxy user and password options
// written into it; "" when no proxy is configured for the protocol.
std::string getProxyUri(const std::string& protocol, const Option* option);
// The proxy URI from the given options, falling back to the "all-proxy" ones.
std::string getProxyOptionFor(const Pref* proxyPref, const Pref* proxyUserPref,
                              const Pref* proxyPasswdPref, const Option* option);
std::string makeProxyUri(const Pref* proxyPref, const Pref* proxyUserPref,
                         const Pref* proxyPasswdPref, const Option* option);
bool isProxyRequest(const std::string& protocol, const std::shared_ptr<Option>& option);
// True when the request's host matches a "no-proxy" entry: a domain, a host,
// or an address block written ADDRESS/BITS.
bool inNoProxy(const std::shared_ptr<Request>& req, const std::string& noProxy);
// "tunnel" or "get".
std::string resolveProxyMethod(const std::string& protocol, const Option* option);

}  // namespace quarn
