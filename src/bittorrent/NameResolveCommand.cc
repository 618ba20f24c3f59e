#include "bittorrent/NameResolveCommand.h"

#include <sys/socket.h>

#include "bittorrent/BtRegistry.h"
#include "bittorrent/UDPTrackerClient.h"
#include "bittorrent/UDPTrackerRequest.h"
#include "bittorrent/name_resolution.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/AsyncNameResolverMan.h"
#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/util_address.h"
#include "net/NameResolver.h"

namespace quarn {

NameResolveCommand::NameResolveCommand(cuid_t cuid, DownloadEngine* e,
                                       std::shared_ptr<UDPTrackerRequest> request)
    : Command(cuid),
      e_(e),
      asyncNameResolverMan_(std::make_unique<AsyncNameResolverMan>()),
      req_(std::move(request)) {
  configureAsyncNameResolverMan(asyncNameResolverMan_.get(), e_->getOption());
  // Trackers are reached over the IPv4 DHT socket only.
  asyncNameResolverMan_->setIPv6(false);
  setStatus(Command::STATUS_ONESHOT_REALTIME);
}

NameResolveCommand::~NameResolveCommand() {
  asyncNameResolverMan_->disableNameResolverCheck(e_, this);
}

bool NameResolveCommand::execute() {
  if (e_->isForceHaltRequested()) {
    onShutdown();
    return true;
  }
  const std::string& hostname = req_->remoteAddr;
  std::vector<std::string> res;
  if (util::isNumericHost(hostname)) {
    res.push_back(hostname);
  } else if (!e_->getOption()->getAsBool(PREF_ASYNC_DNS)) {
    resolveBlocking(res, hostname);
  } else if (resolveHostname(res, hostname) == 0) {
    e_->addCommand(std::unique_ptr<Command>(this));
    return false;
  }
  if (res.empty()) {
    onFailure();
  } else {
    onSuccess(res);
  }
  return true;
}

void NameResolveCommand::resolveBlocking(std::vector<std::string>& res,
                                         const std::string& hostname) {
  NameResolver resolver;
  resolver.setSocktype(SOCK_DGRAM);
  // Like the asynchronous look-up: the client sends over the IPv4 socket
  // only, so an IPv6 address first in the answer would fail the announce.
  resolver.setFamily(AF_INET);
  try {
    resolver.resolve(res, hostname);
  } catch (const RecoverableException& e) {
    QLOG_ERROR_EX("Exception caught", e);
    res.clear();
  }
}

int NameResolveCommand::resolveHostname(std::vector<std::string>& res,
                                        const std::string& hostname) {
  return bittorrent::pollHostnameResolution(*asyncNameResolverMan_, e_, this, hostname, res);
}

void NameResolveCommand::onShutdown() {
  req_->state = UDPT_STA_COMPLETE;
  req_->error = UDPT_ERR_SHUTDOWN;
}

void NameResolveCommand::onFailure() {
  req_->state = UDPT_STA_COMPLETE;
  req_->error = UDPT_ERR_NETWORK;
}

void NameResolveCommand::onSuccess(const std::vector<std::string>& addrs) {
  auto* registry = e_->getService<BtRegistry>();
  if (!registry || !registry->getUDPTrackerClient()) {
    // The client went away with its DHT; nothing can carry the request.
    onFailure();
    return;
  }
  req_->remoteAddr = addrs.front();
  registry->getUDPTrackerClient()->addRequest(req_);
}

}  // namespace quarn
