#include "client/auth/Authenticator.h"

#include "foundation/util_address.h"

namespace quarn {

Authenticator::Authenticator(std::string machine, std::string login, std::string password,
                             std::string account)
    : machine_(std::move(machine)),
      login_(std::move(login)),
      password_(std::move(password)),
      account_(std::move(account)) {}

bool Authenticator::match(const std::string& hostname) const {
  return util::noProxyDomainMatch(hostname, machine_);
}

}  // namespace quarn
