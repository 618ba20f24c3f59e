#include "client/common/userinfo.h"

namespace quarn {
namespace userinfo {

// Works on the text alone, so that a password is hidden even in a URI that
// does not parse.
std::string erase(const std::string& uri) {
  size_t schemeEnd = uri.find("://");
  if (schemeEnd == std::string::npos) {
    return uri;
  }
  size_t authority = schemeEnd + 3;
  size_t authorityEnd = uri.find_first_of("/?#", authority);
  if (authorityEnd == std::string::npos) {
    authorityEnd = uri.size();
  }
  size_t at = uri.rfind('@', authorityEnd == 0 ? 0 : authorityEnd - 1);
  if (at == std::string::npos || at < authority) {
    return uri;
  }
  std::string out = uri;
  out.erase(authority, at + 1 - authority);
  return out;
}

}  // namespace userinfo
}  // namespace quarn
