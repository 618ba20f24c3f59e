#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "client/cookie/Cookie.h"

namespace quarn {
namespace cookie {

// The cookie of one Set-Cookie value received from requestHost, or null when
// the value is rejected.
std::unique_ptr<Cookie> parse(const std::string& setCookieString, const std::string& requestHost,
                              const std::string& defaultPath, int64_t creationTime);

// Parses a cookie date into seconds since the epoch (UTC); writes time only on
// success.
bool parseDate(int64_t& time, std::string::const_iterator first, std::string::const_iterator last);

bool domainMatch(const std::string& requestHost, const std::string& domain);
bool pathMatch(const std::string& requestPath, const std::string& cookiePath);
std::string canonicalizeHost(const std::string& host);
// True when the range is non-empty and begins with '/'.
bool goodPath(std::string::const_iterator first, std::string::const_iterator last);

}  // namespace cookie
}  // namespace quarn
