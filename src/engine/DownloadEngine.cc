#include "engine/DownloadEngine.h"

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/CheckIntegrityEntry.h"
#include "engine/FileAllocationEntry.h"
#include "engine/RequestGroupMan.h"
#include "engine/global_halt.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_chars.h"
#include "foundation/util_random.h"
#include "foundation/util_security.h"
#include "foundation/wallclock.h"
#include "net/AsyncNameResolver.h"
#include "net/DNSCache.h"
#include "net/SocketCore.h"
#include "storage/Request.h"
#include "storage/SequentialPicker.h"

namespace quarn {

namespace {

std::string makeSessionId() {
  unsigned char key[20];
  util::generateRandomKey(key);
  return std::string(reinterpret_cast<const char*>(key), sizeof(key));
}

// Runs the commands present at the start of the pass whose status is at least
// the filter; the others go to the back untouched. Commands added during the
// pass wait for the next one.
void executeCommand(std::deque<std::unique_ptr<Command>>& commands, Command::STATUS statusFilter) {
  size_t max = commands.size();
  for (size_t i = 0; i < max; ++i) {
    std::unique_ptr<Command> com = std::move(commands.front());
    commands.pop_front();
    if (com->getStatus() < statusFilter) {
      com->clearIOEvents();
      commands.push_back(std::move(com));
      continue;
    }
    com->transitStatus();
    if (com->execute()) {
      com.reset();
    } else {
      // The command has handed itself back to the engine or to another owner.
      com.release()->clearIOEvents();
    }
  }
}

}  // namespace

DownloadEngine::DownloadEngine(std::unique_ptr<EventPoll> eventPoll)
    : sessionId_(makeSessionId()),
      eventPoll_(std::move(eventPoll)),
      haltRequested_(0),
      noWait_(true),
      refreshInterval_(DEFAULT_REFRESH_INTERVAL),
      lastRefresh_(Timer::zero()),
      asyncDNSServers_(nullptr),
      dnsCache_(std::make_unique<DNSCache>()),
      // Empty queues, so that a download can be started on any engine.
      fileAllocationMan_(std::make_unique<SequentialPicker<FileAllocationEntry>>()),
      checkIntegrityMan_(std::make_unique<SequentialPicker<CheckIntegrityEntry>>()),
      option_(nullptr) {}

DownloadEngine::~DownloadEngine() {
  freeAsyncDNSServers(asyncDNSServers_);
}

int DownloadEngine::run(bool oneshot) {
  while (!commands_.empty() || !routineCommands_.empty()) {
    // Also with only routine commands the loop sleeps in the poll unless
    // somebody asked for an immediate turn, so that an idle run never spins.
    waitData();
    noWait_ = false;
    global::wallclock().reset();
    calculateStatistics();
    Command::STATUS statusFilter = Command::STATUS_ACTIVE;
    if (lastRefresh_.difference(global::wallclock()) + std::chrono::milliseconds(10) >=
        refreshInterval_) {
      refreshInterval_ = DEFAULT_REFRESH_INTERVAL;
      lastRefresh_ = global::wallclock();
      statusFilter = static_cast<Command::STATUS>(0);
    }
    executeCommand(commands_, statusFilter);
    executeCommand(routineCommands_, static_cast<Command::STATUS>(0));
    afterEachIteration();
    if (!noWait_ && oneshot) {
      return 1;
    }
  }
  if (!oneshot) {
    global::globalHaltRequested = global::HALT_LOOP_FINISHED;
  }
  onEndOfRun();
  return 0;
}

void DownloadEngine::waitData() {
  struct timeval tv;
  if (noWait_) {
    tv.tv_sec = 0;
    tv.tv_usec = 0;
  } else {
    auto ms = refreshInterval_.count();
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms * 1000) % 1000000;
  }
  eventPoll_->poll(tv);
}

void DownloadEngine::calculateStatistics() {
  if (statCalc_) {
    statCalc_->calculateStat(this);
  }
}

void DownloadEngine::afterEachIteration() {
  if (global::globalHaltRequested == global::HALT_GRACEFUL_ASKED) {
    QLOG_NOTICE(_("Shutdown sequence commencing... Press Ctrl-C again for emergency shutdown."));
    requestHalt();
    global::globalHaltRequested = global::HALT_GRACEFUL_UNDER_WAY;
    setNoWait(true);
    setRefreshInterval(std::chrono::milliseconds(0));
  } else if (global::globalHaltRequested == global::HALT_EMERGENCY_ASKED) {
    QLOG_NOTICE(_("Emergency shutdown sequence commencing..."));
    requestForceHalt();
    global::globalHaltRequested = global::HALT_EMERGENCY_UNDER_WAY;
    setNoWait(true);
    setRefreshInterval(std::chrono::milliseconds(0));
  }
}

void DownloadEngine::onEndOfRun() {
  if (requestGroupMan_) {
    requestGroupMan_->removeStoppedGroup(this);
    requestGroupMan_->closeFile();
    requestGroupMan_->save();
  }
}

void DownloadEngine::requestHalt() {
  haltRequested_ = std::max(haltRequested_, 1);
  if (requestGroupMan_) {
    requestGroupMan_->halt();
  }
}

void DownloadEngine::requestForceHalt() {
  haltRequested_ = std::max(haltRequested_, 2);
  if (requestGroupMan_) {
    requestGroupMan_->forceHalt();
  }
}

void DownloadEngine::setRequestGroupMan(std::unique_ptr<RequestGroupMan> rgman) {
  requestGroupMan_ = std::move(rgman);
}

void DownloadEngine::setFileAllocationMan(
    std::unique_ptr<SequentialPicker<FileAllocationEntry>> faman) {
  fileAllocationMan_ = std::move(faman);
}

void DownloadEngine::setCheckIntegrityMan(
    std::unique_ptr<SequentialPicker<CheckIntegrityEntry>> ciman) {
  checkIntegrityMan_ = std::move(ciman);
}

void DownloadEngine::setStatCalc(std::unique_ptr<StatCalc> statCalc) {
  statCalc_ = std::move(statCalc);
}

void DownloadEngine::addCommand(std::unique_ptr<Command> command) {
  commands_.push_back(std::move(command));
}

void DownloadEngine::addCommand(std::vector<std::unique_ptr<Command>> commands) {
  for (auto& command : commands) {
    commands_.push_back(std::move(command));
  }
}

void DownloadEngine::addRoutineCommand(std::unique_ptr<Command> command) {
  routineCommands_.push_back(std::move(command));
}

bool DownloadEngine::addSocketForReadCheck(int fd, Command* command) {
  return eventPoll_->addEvents(fd, command, EventPoll::EVENT_READ);
}

bool DownloadEngine::deleteSocketForReadCheck(int fd, Command* command) {
  return eventPoll_->deleteEvents(fd, command, EventPoll::EVENT_READ);
}

bool DownloadEngine::addSocketForWriteCheck(int fd, Command* command) {
  return eventPoll_->addEvents(fd, command, EventPoll::EVENT_WRITE);
}

bool DownloadEngine::deleteSocketForWriteCheck(int fd, Command* command) {
  return eventPoll_->deleteEvents(fd, command, EventPoll::EVENT_WRITE);
}

bool DownloadEngine::addNameResolverCheck(const std::shared_ptr<AsyncNameResolver>& resolver,
                                          Command* command) {
  return eventPoll_->addNameResolver(resolver, command);
}

bool DownloadEngine::deleteNameResolverCheck(const std::shared_ptr<AsyncNameResolver>& resolver,
                                             Command* command) {
  return eventPoll_->deleteNameResolver(resolver, command);
}

DownloadEngine::SocketPoolEntry::SocketPoolEntry(const std::shared_ptr<SocketCore>& socket,
                                                 const std::string& options,
                                                 std::chrono::seconds timeout)
    : socket_(socket), options_(options), timeout_(timeout), registeredTime_(global::wallclock()) {}

DownloadEngine::SocketPoolEntry::~SocketPoolEntry() = default;

bool DownloadEngine::SocketPoolEntry::isTimeout() const {
  return registeredTime_.difference(global::wallclock()) >= timeout_;
}

std::string DownloadEngine::createSockPoolKey(const std::string& ipaddr, uint16_t port,
                                              const std::string& username,
                                              const std::string& proxyhost, uint16_t proxyport,
                                              const std::string& tlsHostname) {
  std::string key;
  if (!username.empty()) {
    key += util::percentEncode(username);
    key += "@";
  }
  key += fmt("%s(%u)", ipaddr.c_str(), port);
  if (!proxyhost.empty()) {
    key += fmt("/%s(%u)", proxyhost.c_str(), proxyport);
  }
  // '#' occurs in no address, host name or percent-encoded user name, so a
  // TLS key never equals a plain one.
  if (!tlsHostname.empty()) {
    key += "#";
    key += tlsHostname;
  }
  return key;
}

void DownloadEngine::poolSocket(const std::string& key, const SocketPoolEntry& entry) {
  QLOG_INFO(fmt("Pool socket for %s", key.c_str()));
  socketPool_.emplace(key, entry);
}

void DownloadEngine::poolSocket(const std::string& ipaddr, uint16_t port,
                                const std::string& username, const std::string& proxyhost,
                                uint16_t proxyport, const std::shared_ptr<SocketCore>& sock,
                                const std::string& options, std::chrono::seconds timeout) {
  poolSocket(createSockPoolKey(ipaddr, port, username, proxyhost, proxyport),
             SocketPoolEntry(sock, options, timeout));
}

void DownloadEngine::poolSocket(const std::string& ipaddr, uint16_t port,
                                const std::string& proxyhost, uint16_t proxyport,
                                const std::shared_ptr<SocketCore>& sock,
                                std::chrono::seconds timeout) {
  poolSocket(createSockPoolKey(ipaddr, port, "", proxyhost, proxyport),
             SocketPoolEntry(sock, "", timeout));
}

void DownloadEngine::poolTLSSocket(const std::string& tlsHostname, const std::string& ipaddr,
                                   uint16_t port, const std::string& proxyhost, uint16_t proxyport,
                                   const std::shared_ptr<SocketCore>& sock,
                                   std::chrono::seconds timeout) {
  poolSocket(createSockPoolKey(ipaddr, port, "", proxyhost, proxyport, tlsHostname),
             SocketPoolEntry(sock, "", timeout));
}

void DownloadEngine::poolSocket(const std::shared_ptr<Request>& request,
                                const std::shared_ptr<Request>& proxyRequest,
                                const std::shared_ptr<SocketCore>& socket,
                                std::chrono::seconds timeout) {
  poolSocket(request, "", proxyRequest, socket, "", timeout);
}

void DownloadEngine::poolSocket(const std::shared_ptr<Request>& request,
                                const std::string& username,
                                const std::shared_ptr<Request>& proxyRequest,
                                const std::shared_ptr<SocketCore>& socket,
                                const std::string& options, std::chrono::seconds timeout) {
  if (proxyRequest) {
    poolSocket(createSockPoolKey(request->getHost(), request->getPort(), username,
                                 proxyRequest->getHost(), proxyRequest->getPort()),
               SocketPoolEntry(socket, options, timeout));
    return;
  }
  Endpoint peer;
  try {
    peer = socket->getPeerInfo();
  } catch (RecoverableException& ex) {
    QLOG_INFO_EX("Getting peer info failed. Pooling socket canceled.", ex);
    return;
  }
  const std::string tlsHostname = request->getProtocol() == "https" ? request->getHost() : "";
  poolSocket(createSockPoolKey(peer.addr, peer.port, username, "", 0, tlsHostname),
             SocketPoolEntry(socket, options, timeout));
}

// An idle connection that is readable has been closed or spoken to by the
// peer and is not handed out.
std::multimap<std::string, DownloadEngine::SocketPoolEntry>::iterator
DownloadEngine::findSocketPoolEntry(const std::string& key) {
  auto range = socketPool_.equal_range(key);
  for (auto i = range.first; i != range.second; ++i) {
    const SocketPoolEntry& entry = i->second;
    if (!entry.isTimeout() && !entry.getSocket()->isReadable(0)) {
      QLOG_INFO(fmt("Found socket for %s", key.c_str()));
      return i;
    }
  }
  return socketPool_.end();
}

std::shared_ptr<SocketCore> DownloadEngine::popPooledSocketByKey(const std::string& key,
                                                                 std::string* options) {
  auto i = findSocketPoolEntry(key);
  if (i == socketPool_.end()) {
    return nullptr;
  }
  std::shared_ptr<SocketCore> socket = i->second.getSocket();
  if (options) {
    *options = i->second.getOptions();
  }
  socketPool_.erase(i);
  return socket;
}

std::shared_ptr<SocketCore> DownloadEngine::popPooledSocket(const std::string& ipaddr,
                                                            uint16_t port,
                                                            const std::string& proxyhost,
                                                            uint16_t proxyport) {
  return popPooledSocketByKey(createSockPoolKey(ipaddr, port, "", proxyhost, proxyport), nullptr);
}

std::shared_ptr<SocketCore> DownloadEngine::popPooledSocket(
    std::string& options, const std::string& ipaddr, uint16_t port, const std::string& username,
    const std::string& proxyhost, uint16_t proxyport) {
  return popPooledSocketByKey(createSockPoolKey(ipaddr, port, username, proxyhost, proxyport),
                              &options);
}

std::shared_ptr<SocketCore> DownloadEngine::popPooledSocket(const std::vector<std::string>& ipaddrs,
                                                            uint16_t port) {
  for (const auto& ipaddr : ipaddrs) {
    if (auto s = popPooledSocket(ipaddr, port, "", 0)) {
      return s;
    }
  }
  return nullptr;
}

std::shared_ptr<SocketCore> DownloadEngine::popPooledSocket(std::string& options,
                                                            const std::vector<std::string>& ipaddrs,
                                                            uint16_t port,
                                                            const std::string& username) {
  for (const auto& ipaddr : ipaddrs) {
    if (auto s = popPooledSocket(options, ipaddr, port, username, "", 0)) {
      return s;
    }
  }
  return nullptr;
}

std::shared_ptr<SocketCore> DownloadEngine::popPooledTLSSocket(const std::string& tlsHostname,
                                                               const std::string& ipaddr,
                                                               uint16_t port,
                                                               const std::string& proxyhost,
                                                               uint16_t proxyport) {
  return popPooledSocketByKey(
      createSockPoolKey(ipaddr, port, "", proxyhost, proxyport, tlsHostname), nullptr);
}

std::shared_ptr<SocketCore> DownloadEngine::popPooledTLSSocket(
    const std::string& tlsHostname, const std::vector<std::string>& ipaddrs, uint16_t port) {
  for (const auto& ipaddr : ipaddrs) {
    if (auto s = popPooledTLSSocket(tlsHostname, ipaddr, port, "", 0)) {
      return s;
    }
  }
  return nullptr;
}

void DownloadEngine::evictSocketPool() {
  if (socketPool_.empty()) {
    return;
  }
  QLOG_DEBUG("Scanning SocketPool and erasing timed out entry.");
  std::multimap<std::string, SocketPoolEntry> newPool;
  for (const auto& [key, entry] : socketPool_) {
    if (!entry.isTimeout()) {
      newPool.emplace_hint(newPool.end(), key, entry);
    }
  }
  QLOG_DEBUG(
      fmt("%lu entries removed.", static_cast<unsigned long>(socketPool_.size() - newPool.size())));
  socketPool_ = std::move(newPool);
}

const std::string& DownloadEngine::findCachedIPAddress(const std::string& hostname,
                                                       uint16_t port) const {
  return dnsCache_->find(hostname, port);
}

void DownloadEngine::findAllCachedIPAddresses(std::vector<std::string>& addrs,
                                              const std::string& hostname, uint16_t port) const {
  dnsCache_->findAll(addrs, hostname, port);
}

void DownloadEngine::cacheIPAddress(const std::string& hostname, const std::string& ipaddr,
                                    uint16_t port) {
  dnsCache_->put(hostname, ipaddr, port);
}

void DownloadEngine::markBadIPAddress(const std::string& hostname, const std::string& ipaddr,
                                      uint16_t port) {
  dnsCache_->markBad(hostname, ipaddr, port);
}

void DownloadEngine::removeCachedIPAddress(const std::string& hostname, uint16_t port) {
  dnsCache_->remove(hostname, port);
}

void DownloadEngine::setAsyncDNSServers(ares_addr_node* asyncDNSServers) {
  freeAsyncDNSServers(asyncDNSServers_);
  asyncDNSServers_ = asyncDNSServers;
}

bool DownloadEngine::validateToken(const std::string& token) {
  if (!option_ || !option_->defined(PREF_RPC_SECRET)) {
    return true;
  }
  if (!tokenHMAC_) {
    tokenHMAC_ = util::security::HMAC::createRandom();
    if (!tokenHMAC_) {
      QLOG_ERROR("Failed to create HMAC");
      return false;
    }
    tokenExpected_ = std::make_unique<util::security::HMACResult>(
        tokenHMAC_->getResult(option_->get(PREF_RPC_SECRET)));
  }
  return *tokenExpected_ == tokenHMAC_->getResult(token);
}

}  // namespace quarn
