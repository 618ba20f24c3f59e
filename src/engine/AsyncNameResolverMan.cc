#include "engine/AsyncNameResolverMan.h"

#include <cassert>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/Command.h"
#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "net/AsyncNameResolver.h"
#include "net/net_address.h"

namespace quarn {

namespace {
const std::string EMPTY;
}  // namespace

AsyncNameResolverMan::AsyncNameResolverMan()
    : numResolver_(0), resolverCheck_(0), ipv4_(true), ipv6_(true) {}

AsyncNameResolverMan::~AsyncNameResolverMan() {
  assert(resolverCheck_ == 0);
}

void AsyncNameResolverMan::startAsync(const std::string& hostname, DownloadEngine* e,
                                      Command* command) {
  numResolver_ = 0;
  if (ipv6_) {
    startAsyncFamily(hostname, AF_INET6, e, command);
  }
  if (ipv4_) {
    startAsyncFamily(hostname, AF_INET, e, command);
  }
  QLOG_INFO(fmt("CUID#%lld - Resolving hostname %s", static_cast<long long>(command->getCuid()),
                hostname.c_str()));
}

void AsyncNameResolverMan::startAsyncFamily(const std::string& hostname, int family,
                                            DownloadEngine* e, Command* command) {
  asyncNameResolver_[numResolver_] =
      std::make_shared<AsyncNameResolver>(family, e->getAsyncDNSServers());
  asyncNameResolver_[numResolver_]->resolve(hostname);
  setNameResolverCheck(numResolver_, e, command);
  ++numResolver_;
}

void AsyncNameResolverMan::getResolvedAddress(std::vector<std::string>& res) const {
  for (size_t i = 0; i < numResolver_; ++i) {
    if (asyncNameResolver_[i]->getStatus() == AsyncNameResolver::STATUS_SUCCESS) {
      const auto& addrs = asyncNameResolver_[i]->getResolvedAddresses();
      res.insert(res.end(), addrs.begin(), addrs.end());
    }
  }
}

// An IPv4 answer ends the wait at once; otherwise the lookup is over when
// every started resolver has finished, and any success makes it a success
// (a host with only IPv6 addresses resolves instead of timing out).
int AsyncNameResolverMan::getStatus() const {
  size_t success = 0;
  size_t error = 0;
  for (size_t i = 0; i < numResolver_; ++i) {
    switch (asyncNameResolver_[i]->getStatus()) {
      case AsyncNameResolver::STATUS_SUCCESS:
        if (asyncNameResolver_[i]->getFamily() == AF_INET) {
          return 1;
        }
        ++success;
        break;
      case AsyncNameResolver::STATUS_ERROR:
        ++error;
        break;
      default:
        break;
    }
  }
  if (success + error < numResolver_) {
    return 0;
  }
  return success > 0 || numResolver_ == 0 ? 1 : -1;
}

const std::string& AsyncNameResolverMan::getLastError() const {
  for (size_t i = 0; i < numResolver_; ++i) {
    if (asyncNameResolver_[i]->getStatus() == AsyncNameResolver::STATUS_ERROR) {
      return asyncNameResolver_[i]->getError();
    }
  }
  return EMPTY;
}

void AsyncNameResolverMan::setNameResolverCheck(DownloadEngine* e, Command* command) {
  for (size_t i = 0; i < numResolver_; ++i) {
    setNameResolverCheck(i, e, command);
  }
}

void AsyncNameResolverMan::setNameResolverCheck(size_t index, DownloadEngine* e, Command* command) {
  if (asyncNameResolver_[index]) {
    assert((resolverCheck_ & (1 << index)) == 0);
    resolverCheck_ |= 1 << index;
    e->addNameResolverCheck(asyncNameResolver_[index], command);
  }
}

void AsyncNameResolverMan::disableNameResolverCheck(DownloadEngine* e, Command* command) {
  for (size_t i = 0; i < numResolver_; ++i) {
    disableNameResolverCheck(i, e, command);
  }
}

void AsyncNameResolverMan::disableNameResolverCheck(size_t index, DownloadEngine* e,
                                                    Command* command) {
  if (asyncNameResolver_[index] && (resolverCheck_ & (1 << index))) {
    resolverCheck_ &= ~(1 << index);
    e->deleteNameResolverCheck(asyncNameResolver_[index], command);
  }
}

void AsyncNameResolverMan::reset(DownloadEngine* e, Command* command) {
  disableNameResolverCheck(e, command);
  assert(resolverCheck_ == 0);
  for (auto& r : asyncNameResolver_) {
    r.reset();
  }
  numResolver_ = 0;
}

void configureAsyncNameResolverMan(AsyncNameResolverMan* asyncNameResolverMan, Option* option) {
  if (!net::getIPv4AddrConfigured() && !net::getIPv6AddrConfigured()) {
    net::checkAddrconfig();
  }
  if (!net::getIPv4AddrConfigured()) {
    asyncNameResolverMan->setIPv4(false);
  }
  if (!net::getIPv6AddrConfigured() || option->getAsBool(PREF_DISABLE_IPV6)) {
    asyncNameResolverMan->setIPv6(false);
  }
}

}  // namespace quarn
