#include "dht/DHTEntryPointNameResolveCommand.h"

#include <sys/socket.h>

#include "bittorrent/name_resolution.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "dht/DHTNode.h"
#include "dht/DHTTask.h"
#include "dht/DHTTaskFactory.h"
#include "dht/DHTTaskQueue.h"
#include "engine/AsyncNameResolverMan.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroupMan.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "net/NameResolver.h"
#include "net/net_address.h"

namespace quarn {

DHTEntryPointNameResolveCommand::DHTEntryPointNameResolveCommand(
    cuid_t cuid, DownloadEngine* e, int family,
    const std::vector<std::pair<std::string, uint16_t>>& entryPoints)
    : Command(cuid),
      e_(e),
      asyncNameResolverMan_(std::make_unique<AsyncNameResolverMan>()),
      entryPoints_(entryPoints.begin(), entryPoints.end()),
      family_(family) {
  configureAsyncNameResolverMan(asyncNameResolverMan_.get(), e_->getOption());
  // Each family's DHT can only reach addresses of its own family.
  if (family_ == AF_INET) {
    asyncNameResolverMan_->setIPv6(false);
  } else {
    asyncNameResolverMan_->setIPv4(false);
  }
}

DHTEntryPointNameResolveCommand::~DHTEntryPointNameResolveCommand() {
  asyncNameResolverMan_->disableNameResolverCheck(e_, this);
}

bool DHTEntryPointNameResolveCommand::execute() {
  if (e_->getRequestGroupMan()->downloadFinished() || e_->isHaltRequested()) {
    return true;
  }
  try {
    if (e_->getOption()->getAsBool(PREF_ASYNC_DNS)) {
      if (!resolveAsync()) {
        e_->addCommand(std::unique_ptr<Command>(this));
        return false;
      }
    } else {
      resolveBlocking();
    }
    if (bootstrapEnabled_ && numSuccess_ > 0) {
      bootstrap();
    }
  } catch (const RecoverableException& e) {
    QLOG_ERROR_EX("Exception caught", e);
  }
  return true;
}

bool DHTEntryPointNameResolveCommand::resolveAsync() {
  while (!entryPoints_.empty()) {
    const auto& entry = entryPoints_.front();
    std::vector<std::string> res;
    int rv = resolveHostname(res, entry.first);
    if (rv == 0) {
      return false;
    }
    if (rv == 1) {
      ++numSuccess_;
      addPingTask(res.front(), entry.second);
    }
    asyncNameResolverMan_->reset(e_, this);
    entryPoints_.pop_front();
  }
  return true;
}

int DHTEntryPointNameResolveCommand::resolveNumeric(std::vector<std::string>& res,
                                                    const std::string& hostname) const {
  unsigned char buf[16];
  size_t addrLength = net::getBinAddr(buf, hostname);
  if (addrLength == 0) {
    return 0;
  }
  // A literal of the other family cannot be reached from this socket.
  if (addrLength != (family_ == AF_INET ? 4u : 16u)) {
    QLOG_INFO(fmt("CUID#%lld - Name resolution for %s failed:%s", static_cast<long long>(getCuid()),
                  hostname.c_str(), "Address of the other family"));
    return -1;
  }
  res.push_back(hostname);
  return 1;
}

void DHTEntryPointNameResolveCommand::resolveBlocking() {
  NameResolver resolver;
  resolver.setSocktype(SOCK_DGRAM);
  resolver.setFamily(family_);
  while (!entryPoints_.empty()) {
    const auto& entry = entryPoints_.front();
    try {
      std::vector<std::string> res;
      if (resolveNumeric(res, entry.first) == 0) {
        resolver.resolve(res, entry.first);
      }
      if (!res.empty()) {
        ++numSuccess_;
        addPingTask(res.front(), entry.second);
      }
    } catch (const RecoverableException& e) {
      QLOG_ERROR_EX("Exception caught", e);
    }
    entryPoints_.pop_front();
  }
}

int DHTEntryPointNameResolveCommand::resolveHostname(std::vector<std::string>& res,
                                                     const std::string& hostname) {
  if (int rv = resolveNumeric(res, hostname); rv != 0) {
    return rv;
  }
  return bittorrent::pollHostnameResolution(*asyncNameResolverMan_, e_, this, hostname, res);
}

void DHTEntryPointNameResolveCommand::addPingTask(const std::string& addr, uint16_t port) {
  // The entry point's id is unknown; it joins the table only if it answers.
  auto node = std::make_shared<DHTNode>();
  node->setIPAddress(addr);
  node->setPort(port);
  taskQueue_->addPeriodicTask1(taskFactory_->createPingTask(node, 10));
}

void DHTEntryPointNameResolveCommand::bootstrap() {
  taskQueue_->addPeriodicTask1(taskFactory_->createNodeLookupTask(localNode_->getID()));
  taskQueue_->addPeriodicTask1(taskFactory_->createBucketRefreshTask());
}

}  // namespace quarn
