#pragma once

#include <cstddef>
#include <string>

namespace quarn {
namespace util {

// True when the text is a numeric IPv4 or IPv6 address; never asks a name server.
bool isNumericHost(const std::string& name);

// True for IPv4 texts in 10.0.0.0/8, 172.16.0.0/12 or 192.168.0.0/16.
bool inPrivateAddress(const std::string& ipv4addr);

// True when the no-proxy rule (a domain suffix starting with '.', or an exact
// host) covers the host name.
bool noProxyDomainMatch(const std::string& hostname, const std::string& domain);

// True when the certificate name, possibly with a left-most-label wildcard,
// covers the host name.
bool tlsHostnameMatch(const std::string& pattern, const std::string& hostname);

}  // namespace util
}  // namespace quarn
