#include "net/NameResolver.h"

#include <netdb.h>

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_address.h"
#include "net/net_address.h"
#include "net/util_net.h"

namespace quarn {

NameResolver::NameResolver() : socktype_(0), family_(AF_UNSPEC) {}

void NameResolver::resolve(std::vector<std::string>& resolvedAddresses,
                           const std::string& hostname) {
  addrinfo* raw = nullptr;
  int s = callGetaddrinfo(&raw, hostname.c_str(), nullptr, family_, socktype_, 0, 0);
  if (s != 0) {
    throw DL_ABORT_EX(
        fmt(_("Failed to resolve the hostname %s, cause: %s"), hostname.c_str(), gai_strerror(s)),
        error_code::NAME_RESOLVE_ERROR);
  }
  AddrinfoPtr res(raw);
  for (addrinfo* rp = res.get(); rp; rp = rp->ai_next) {
    resolvedAddresses.push_back(util::getNumericNameInfo(rp->ai_addr, rp->ai_addrlen).addr);
  }
}

}  // namespace quarn
