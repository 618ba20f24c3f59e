#include "client/common/AbstractCommand.h"

#include "client/common/userinfo.h"

#include "engine/CheckIntegrityEntry.h"

#include <cinttypes>

#include <sys/socket.h>

#include "client/common/CreateRequestCommand.h"
#include "client/common/InitiateConnectionCommandFactory.h"
#include "client/common/proxy_select.h"
#include "client/common/socket_pool.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/AsyncNameResolverMan.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_address.h"
#include "foundation/util_string.h"
#include "foundation/wallclock.h"
#include "net/NameResolver.h"
#include "net/SocketCore.h"
#include "net/SocketRecvBuffer.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PieceStorage.h"
#include "storage/Request.h"
#include "storage/Segment.h"
#include "storage/SegmentMan.h"
#include "storage/ServerStat.h"

namespace quarn {

namespace {

constexpr int64_t NANOS_PER_SECOND = 1000000000;

std::string joinAddrs(const std::vector<std::string>& addrs) {
  std::string out;
  for (const auto& a : addrs) {
    if (!out.empty()) {
      out += ", ";
    }
    out += a;
  }
  return out;
}

}  // namespace

AbstractCommand::AbstractCommand(cuid_t cuid, std::shared_ptr<Request> req,
                                 std::shared_ptr<FileEntry> fileEntry, RequestGroup* requestGroup,
                                 DownloadEngine* e, std::shared_ptr<SocketCore> s,
                                 std::shared_ptr<SocketRecvBuffer> socketRecvBuffer,
                                 bool countConnection)
    : Command(cuid),
      req_(std::move(req)),
      fileEntry_(std::move(fileEntry)),
      socket_(std::move(s)),
      socketRecvBuffer_(std::move(socketRecvBuffer)),
      asyncNameResolverMan_(std::make_unique<AsyncNameResolverMan>()),
      requestGroup_(requestGroup),
      e_(e),
      checkPoint_(global::wallclock()),
      fasterRequestTimer_(global::wallclock()),
      timeout_(requestGroup->getTimeout()),
      readCheckEnabled_(false),
      writeCheckEnabled_(false),
      countsConnection_(countConnection) {
  if (socket_ && socket_->isOpen()) {
    setReadCheckSocket(socket_);
  }
  if (countsConnection_) {
    requestGroup_->increaseStreamConnection();
  }
  requestGroup_->increaseStreamCommand();
  requestGroup_->increaseNumCommand();
  if (e_->getOption()) {
    configureAsyncNameResolverMan(asyncNameResolverMan_.get(), e_->getOption());
  }
}

AbstractCommand::~AbstractCommand() {
  disableReadCheckSocket();
  disableWriteCheckSocket();
  asyncNameResolverMan_->disableNameResolverCheck(e_, this);
  requestGroup_->decreaseNumCommand();
  requestGroup_->decreaseStreamCommand();
  if (countsConnection_) {
    requestGroup_->decreaseStreamConnection();
  }
}

const std::shared_ptr<SegmentMan>& AbstractCommand::getSegmentMan() const {
  return requestGroup_->getSegmentMan();
}

const std::shared_ptr<PieceStorage>& AbstractCommand::getPieceStorage() const {
  return requestGroup_->getPieceStorage();
}

const std::shared_ptr<Option>& AbstractCommand::getOption() const {
  return requestGroup_->getOption();
}

const std::shared_ptr<DownloadContext>& AbstractCommand::getDownloadContext() const {
  return requestGroup_->getDownloadContext();
}

void AbstractCommand::setSocket(std::shared_ptr<SocketCore> s) {
  socket_ = std::move(s);
}

void AbstractCommand::setCheckSocket(bool& enabled, std::shared_ptr<SocketCore>& target,
                                     const std::shared_ptr<SocketCore>& socket, CheckFn add,
                                     CheckFn remove) {
  if (!socket->isOpen()) {
    disableCheckSocket(enabled, target, remove);
    return;
  }
  if (enabled) {
    if (target->getSockfd() == socket->getSockfd()) {
      target = socket;
      return;
    }
    (e_->*remove)(target->getSockfd(), this);
  }
  (e_->*add)(socket->getSockfd(), this);
  enabled = true;
  target = socket;
}

void AbstractCommand::disableCheckSocket(bool& enabled, std::shared_ptr<SocketCore>& target,
                                         CheckFn remove) {
  if (enabled) {
    (e_->*remove)(target->getSockfd(), this);
    enabled = false;
    target.reset();
  }
}

void AbstractCommand::setReadCheckSocket(const std::shared_ptr<SocketCore>& socket) {
  setCheckSocket(readCheckEnabled_, readCheckTarget_, socket,
                 &DownloadEngine::addSocketForReadCheck, &DownloadEngine::deleteSocketForReadCheck);
}

void AbstractCommand::disableReadCheckSocket() {
  disableCheckSocket(readCheckEnabled_, readCheckTarget_,
                     &DownloadEngine::deleteSocketForReadCheck);
}

void AbstractCommand::setWriteCheckSocket(const std::shared_ptr<SocketCore>& socket) {
  setCheckSocket(writeCheckEnabled_, writeCheckTarget_, socket,
                 &DownloadEngine::addSocketForWriteCheck,
                 &DownloadEngine::deleteSocketForWriteCheck);
}

void AbstractCommand::disableWriteCheckSocket() {
  disableCheckSocket(writeCheckEnabled_, writeCheckTarget_,
                     &DownloadEngine::deleteSocketForWriteCheck);
}

void AbstractCommand::setReadCheckSocketIf(const std::shared_ptr<SocketCore>& socket, bool pred) {
  if (pred) {
    setReadCheckSocket(socket);
  } else {
    disableReadCheckSocket();
  }
}

void AbstractCommand::setWriteCheckSocketIf(const std::shared_ptr<SocketCore>& socket, bool pred) {
  if (pred) {
    setWriteCheckSocket(socket);
  } else {
    disableWriteCheckSocket();
  }
}

void AbstractCommand::swapSocket(std::shared_ptr<SocketCore>& socket) {
  disableReadCheckSocket();
  disableWriteCheckSocket();
  socket_.swap(socket);
}

void AbstractCommand::checkSocketRecvBuffer() {
  if ((socketRecvBuffer_ && !socketRecvBuffer_->bufferEmpty()) ||
      (socket_ && socket_->getRecvBufferedLength() > 0)) {
    setStatus(Command::STATUS_ONESHOT_REALTIME);
    e_->setNoWait(true);
  }
}

void AbstractCommand::createSocket() {
  socket_ = std::make_shared<SocketCore>();
}

void AbstractCommand::addCommandSelf() {
  e_->addCommand(std::unique_ptr<Command>(this));
}

int32_t AbstractCommand::calculateMinSplitSize() const {
  if (req_ && req_->isPipeliningEnabled()) {
    return getDownloadContext()->getPieceLength();
  }
  return getOption()->getAsInt(PREF_MIN_SPLIT_SIZE);
}

bool AbstractCommand::shouldProcess() const {
  if (readCheckEnabled_) {
    if (readEventEnabled() || (socketRecvBuffer_ && !socketRecvBuffer_->bufferEmpty()) ||
        (socket_ && socket_->getRecvBufferedLength() > 0)) {
      return true;
    }
  }
  if (writeCheckEnabled_ && writeEventEnabled()) {
    return true;
  }
  bool resolving = asyncNameResolverMan_->started();
  if (resolving && asyncNameResolverMan_->getStatus() != 0) {
    return true;
  }
  if (!readCheckEnabled_ && !writeCheckEnabled_ && !resolving) {
    return true;
  }
  return noCheck();
}

void AbstractCommand::markServerError() {
  RequestGroupMan* rgman = e_->getRequestGroupMan();
  if (req_ && rgman) {
    rgman->getOrCreateServerStat(req_->getHost(), req_->getProtocol())->setError();
  }
}

void AbstractCommand::useFasterRequest(const std::shared_ptr<Request>& fasterRequest) {
  QLOG_INFO(fmt("CUID#%" PRId64 " - Use faster Request hostname=%s, port=%u", getCuid(),
                fasterRequest->getHost().c_str(), fasterRequest->getPort()));
  fileEntry_->removeRequest(req_);
  e_->setNoWait(true);
  e_->addCommand(InitiateConnectionCommandFactory::createInitiateConnectionCommand(
      getCuid(), fasterRequest, fileEntry_, requestGroup_, e_));
}

// Switches to a faster mirror when one is known; true when this command is
// replaced by a connection to it.
bool AbstractCommand::switchToFasterRequest() {
  if (fileEntry_->countPooledRequest() > 0 &&
      requestGroup_->getTotalLength() - requestGroup_->getCompletedLength() <
          static_cast<int64_t>(calculateMinSplitSize()) * 2) {
    if (auto faster = fileEntry_->findFasterRequest(req_)) {
      useFasterRequest(faster);
      return true;
    }
  }
  RequestGroupMan* rgman = e_->getRequestGroupMan();
  if (rgman && fileEntry_->getLength() > 0 && rgman->getMaxOverallDownloadSpeedLimit() == 0 &&
      requestGroup_->getMaxDownloadSpeedLimit() == 0 &&
      fasterRequestTimer_.difference(global::wallclock()) >= std::chrono::seconds(10)) {
    fasterRequestTimer_ = global::wallclock();
    UsedHosts usedHosts;
    if (getOption()->getAsBool(PREF_SELECT_LEAST_USED_HOST)) {
      rgman->getUsedHosts(usedHosts);
    }
    if (auto faster = fileEntry_->findFasterRequest(req_, usedHosts, rgman->getServerStatMan())) {
      useFasterRequest(faster);
      return true;
    }
  }
  return false;
}

bool AbstractCommand::takeSegments() {
  size_t maxSegments =
      (!req_ || req_->getMaxPipelinedRequest() == 1) ? 1 : req_->getMaxPipelinedRequest();
  const auto& segmentMan = getSegmentMan();
  if (maxSegments > 1 && getDownloadContext()->getFileEntries().size() > 1) {
    if (segments_.size() < maxSegments) {
      segmentMan->getSegment(segments_, getCuid(), calculateMinSplitSize(), fileEntry_,
                             maxSegments);
    }
    if (segments_.empty()) {
      prepareForRetry(0);
      return false;
    }
    return true;
  }
  while (segments_.size() < maxSegments) {
    auto segment = segmentMan->getSegment(getCuid(), calculateMinSplitSize());
    if (!segment) {
      break;
    }
    segments_.push_back(std::move(segment));
  }
  if (segments_.empty()) {
    QLOG_INFO(fmt("CUID#%" PRId64 " - No segment available.", getCuid()));
    if (!segmentMan->allSegmentsIgnored()) {
      prepareForRetry(1);
      return false;
    }
    QLOG_DEBUG("All segments are ignored.");
    e_->setRefreshInterval(std::chrono::milliseconds(0));
    return false;
  }
  return true;
}

bool AbstractCommand::runStep() {
  QLOG_DEBUG(fmt("CUID#%" PRId64 " - socket: read:%d, write:%d, hup:%d, err:%d", getCuid(),
                 readEventEnabled(), writeEventEnabled(), hupEventEnabled(), errorEventEnabled()));
  if (requestGroup_->downloadFinished() || requestGroup_->isHaltRequested()) {
    return true;
  }
  if (req_ && req_->removalRequested()) {
    QLOG_DEBUG(fmt("CUID#%" PRId64 " - Discard original URI=%s because it is requested.", getCuid(),
                   userinfo::erase(req_->getUri()).c_str()));
    return prepareForRetry(0);
  }
  if (getPieceStorage()) {
    segments_.clear();
    getSegmentMan()->getInFlightSegment(segments_, getCuid());
    if (req_ && segments_.empty()) {
      QLOG_DEBUG(fmt("CUID#%" PRId64 " - It seems previously assigned segments are canceled. "
                     "Restart.",
                     getCuid()));
      if (req_->isPipeliningEnabled()) {
        poolRequestSocket(e_, req_, createProxyRequest(), socket_);
      }
      return prepareForRetry(0);
    }
    if (req_ && switchToFasterRequest()) {
      return true;
    }
  }
  if (shouldProcess()) {
    checkPoint_ = global::wallclock();
    if (getPieceStorage() && !takeSegments()) {
      return true;
    }
    return executeInternal();
  }
  if (errorEventEnabled()) {
    markServerError();
    throw DL_RETRY_EX(fmt(_("Network problem has occurred. cause:%s"),
                          socket_ ? socket_->getSocketError().c_str() : ""));
  }
  if (checkPoint_.difference(global::wallclock()).count() >= timeout_ * NANOS_PER_SECOND) {
    markServerError();
    if (req_ && !req_->getConnectedAddr().empty()) {
      QLOG_DEBUG(fmt("CUID#%" PRId64 " - Marking IP address %s as bad", getCuid(),
                     req_->getConnectedAddr().c_str()));
      e_->markBadIPAddress(req_->getConnectedHostname(), req_->getConnectedAddr(),
                           req_->getConnectedPort());
    }
    if (req_ &&
        e_->findCachedIPAddress(req_->getConnectedHostname(), req_->getConnectedPort()).empty()) {
      QLOG_DEBUG(
          fmt("CUID#%" PRId64 " - All IP addresses were marked bad. Removing Entry.", getCuid()));
      e_->removeCachedIPAddress(req_->getConnectedHostname(), req_->getConnectedPort());
    }
    throw DL_RETRY_EX(_("Timeout."), error_code::TIME_OUT);
  }
  addCommandSelf();
  return false;
}

bool AbstractCommand::execute() {
  try {
    return runStep();
  } catch (const DlAbortEx& err) {
    requestGroup_->setLastErrorCode(err.getErrorCode(), err.what());
    if (req_) {
      QLOG_ERROR_EX(
          fmt("CUID#%" PRId64 " - Download aborted. URI=%s", getCuid(),
              userinfo::erase(req_->getUri()).c_str()),
          DL_ABORT_EX(fmt("URI=%s", userinfo::erase(req_->getCurrentUri()).c_str()), err));
      fileEntry_->addURIResult(req_->getUri(), err.getErrorCode());
      if (err.getErrorCode() == error_code::CANNOT_RESUME) {
        requestGroup_->increaseResumeFailureCount();
      }
    } else {
      QLOG_DEBUG_EX("Exception caught", err);
    }
    onAbort();
    tryReserved();
    return true;
  } catch (const DlRetryEx& err) {
    if (!req_) {
      // No command raises a retry before it has a request; give up the
      // connection rather than loop.
      requestGroup_->setLastErrorCode(err.getErrorCode(), err.what());
      QLOG_DEBUG_EX("Exception caught", err);
      tryReserved();
      return true;
    }
    QLOG_INFO_EX(fmt("CUID#%" PRId64 " - Restarting the download. URI=%s", getCuid(),
                     userinfo::erase(req_->getUri()).c_str()),
                 DL_RETRY_EX(fmt("URI=%s", userinfo::erase(req_->getCurrentUri()).c_str()), err));
    req_->addTryCount();
    req_->resetRedirectCount();
    req_->resetUri();
    int maxTries = getOption()->getAsInt(PREF_MAX_TRIES);
    if (maxTries != 0 && req_->getTryCount() >= maxTries) {
      QLOG_INFO(fmt("CUID#%" PRId64 " - %d times attempted, but no success. Download aborted.",
                    getCuid(), req_->getTryCount()));
      QLOG_ERROR_EX(fmt("CUID#%" PRId64 " - Download aborted. URI=%s", getCuid(),
                        userinfo::erase(req_->getUri()).c_str()),
                    err);
      fileEntry_->addURIResult(req_->getUri(), err.getErrorCode());
      requestGroup_->setLastErrorCode(err.getErrorCode(), err.what());
      if (err.getErrorCode() == error_code::CANNOT_RESUME) {
        requestGroup_->increaseResumeFailureCount();
      }
      onAbort();
      tryReserved();
      return true;
    }
    auto wait = retryDelay(maxTries);
    if (wait.count() > 0) {
      req_->setWakeTime(Timer(global::wallclock().getTime() + wait));
    }
    return prepareForRetry(0);
  } catch (const DownloadFailureException& err) {
    requestGroup_->setLastErrorCode(err.getErrorCode(), err.what());
    if (req_) {
      QLOG_ERROR_EX(
          fmt("CUID#%" PRId64 " - Download aborted. URI=%s", getCuid(),
              userinfo::erase(req_->getUri()).c_str()),
          DL_ABORT_EX(fmt("URI=%s", userinfo::erase(req_->getCurrentUri()).c_str()), err));
      fileEntry_->addURIResult(req_->getUri(), err.getErrorCode());
    } else {
      QLOG_ERROR_EX("Exception caught", err);
    }
    requestGroup_->setHaltRequested(true, RequestGroup::SHUTDOWN_SIGNAL);
    e_->setRefreshInterval(std::chrono::milliseconds(0));
    return true;
  }
}

// Every retry waits "retry-wait" seconds; without it, endless tries still
// pause a second between attempts so that a dead server is not hammered.
std::chrono::seconds AbstractCommand::retryDelay(int maxTries) const {
  auto wait = std::chrono::seconds(getOption()->getAsInt(PREF_RETRY_WAIT));
  if (wait.count() == 0 && maxTries == 0) {
    wait = std::chrono::seconds(1);
  }
  return wait;
}

void AbstractCommand::prepareForNextAction(std::unique_ptr<CheckIntegrityEntry> entry) {
  std::vector<std::unique_ptr<Command>> commands;
  getRequestGroup()->processCheckIntegrityEntry(commands, std::move(entry), getDownloadEngine());
  getDownloadEngine()->addCommand(std::move(commands));
  getDownloadEngine()->setNoWait(true);
}

bool AbstractCommand::prepareForRetry(int64_t wait) {
  if (getPieceStorage()) {
    getSegmentMan()->cancelSegment(getCuid());
  }
  if (req_) {
    req_->supportsPersistentConnection(true);
    req_->setMaxPipelinedRequest(1);
    fileEntry_->poolRequest(req_);
    QLOG_DEBUG(fmt("CUID#%" PRId64 " - Pooling request URI=%s", getCuid(),
                   userinfo::erase(req_->getUri()).c_str()));
    if (getSegmentMan()) {
      getSegmentMan()->recognizeSegmentFor(fileEntry_);
    }
  }
  auto command = std::make_unique<CreateRequestCommand>(getCuid(), requestGroup_, e_);
  if (wait != 0) {
    command->setStatus(Command::STATUS_INACTIVE);
  } else {
    e_->setNoWait(true);
  }
  e_->addCommand(std::move(command));
  return true;
}

void AbstractCommand::onAbort() {
  if (req_) {
    fileEntry_->removeIdenticalURI(req_->getUri());
    fileEntry_->removeRequest(req_);
  }
  QLOG_DEBUG(fmt("CUID#%" PRId64 " - Aborting download", getCuid()));
  if (!getPieceStorage()) {
    return;
  }
  getSegmentMan()->cancelSegment(getCuid());
  const auto& option = getOption();
  if (option->getAsBool(PREF_ALWAYS_RESUME) || !fileEntry_ ||
      getDownloadContext()->getNetStat().getSessionDownloadLength() != 0 ||
      requestGroup_->p2pInvolved() || getDownloadContext()->getFileEntries().size() != 1) {
    return;
  }
  int maxTries = option->getAsInt(PREF_MAX_RESUME_FAILURE_TRIES);
  if (!((maxTries > 0 && requestGroup_->getResumeFailureCount() >= maxTries) ||
        fileEntry_->emptyRequestUri())) {
    return;
  }
  QLOG_NOTICE(
      fmt(_("CUID#%" PRId64 " - Failed to resume download. Download from scratch."), getCuid()));
  QLOG_DEBUG(fmt("CUID#%" PRId64 " - Gathering URIs that has CANNOT_RESUME error", getCuid()));
  option->put(PREF_ALWAYS_RESUME, "true");
  std::deque<URIResult> results;
  fileEntry_->extractURIResult(results, error_code::CANNOT_RESUME);
  if (results.empty()) {
    return;
  }
  getSegmentMan()->cancelAllSegments();
  getSegmentMan()->eraseSegmentWrittenLengthMemo();
  getPieceStorage()->markPiecesDone(0);
  QLOG_DEBUG(fmt("CUID#%" PRId64 " - %lu URIs found.", getCuid(),
                 static_cast<unsigned long>(results.size())));
  for (const auto& result : results) {
    fileEntry_->addUri(result.uri);
  }
  getSegmentMan()->recognizeSegmentFor(fileEntry_);
}

void AbstractCommand::tryReserved() {
  const auto& ctx = getDownloadContext();
  if (ctx->getFileEntries().size() == 1) {
    const auto& entry = ctx->getFirstFileEntry();
    if (entry->getLength() == 0 && entry->getRemainingUris().empty()) {
      QLOG_DEBUG(fmt("CUID#%" PRId64 " - Not trying next request. No reserved/pooled request is "
                     "remaining and total length is still unknown.",
                     getCuid()));
      return;
    }
  }
  QLOG_DEBUG(fmt("CUID#%" PRId64 " - Trying reserved/pooled request.", getCuid()));
  std::vector<std::unique_ptr<Command>> commands;
  requestGroup_->createNextCommand(commands, e_, 1);
  e_->setNoWait(true);
  e_->addCommand(std::move(commands));
}

bool AbstractCommand::isProxyDefined() const {
  return isProxyRequest(req_->getProtocol(), getOption()) &&
         !inNoProxy(req_, getOption()->get(PREF_NO_PROXY));
}

std::shared_ptr<Request> AbstractCommand::createProxyRequest() const {
  if (inNoProxy(req_, getOption()->get(PREF_NO_PROXY))) {
    return nullptr;
  }
  std::string proxy = getProxyUri(req_->getProtocol(), getOption().get());
  if (proxy.empty()) {
    return nullptr;
  }
  auto proxyRequest = std::make_shared<Request>();
  if (proxyRequest->setUri(proxy)) {
    QLOG_DEBUG(fmt("CUID#%" PRId64 " - Using proxy", getCuid()));
    return proxyRequest;
  }
  QLOG_DEBUG(fmt("CUID#%" PRId64 " - Failed to parse proxy string", getCuid()));
  return nullptr;
}

std::string AbstractCommand::resolveProxyMethod(const std::string& protocol) const {
  return quarn::resolveProxyMethod(protocol, getOption().get());
}

std::string AbstractCommand::resolveHostname(std::vector<std::string>& addrs,
                                             const std::string& hostname, uint16_t port) {
  if (util::isNumericHost(hostname)) {
    addrs.push_back(hostname);
    return hostname;
  }
  std::vector<std::string> cached;
  e_->findAllCachedIPAddresses(cached, hostname, port);
  if (!cached.empty()) {
    addrs.insert(addrs.end(), cached.begin(), cached.end());
    QLOG_INFO(fmt("CUID#%" PRId64 " - DNS cache hit: %s -> %s", getCuid(), hostname.c_str(),
                  joinAddrs(cached).c_str()));
    return cached.front();
  }
  if (getOption()->getAsBool(PREF_ASYNC_DNS)) {
    if (!asyncNameResolverMan_->started()) {
      asyncNameResolverMan_->startAsync(hostname, e_, this);
    }
    switch (asyncNameResolverMan_->getStatus()) {
      case 0:
        return "";
      case 1:
        asyncNameResolverMan_->getResolvedAddress(addrs);
        if (addrs.empty()) {
          throw DL_ABORT_EX(fmt("CUID#%" PRId64 " - Name resolution for %s failed:%s", getCuid(),
                                hostname.c_str(), "No address returned"),
                            error_code::NAME_RESOLVE_ERROR);
        }
        break;
      default:
        if (!isProxyRequest(req_->getProtocol(), getOption())) {
          markServerError();
        }
        throw DL_ABORT_EX(fmt("CUID#%" PRId64 " - Name resolution for %s failed:%s", getCuid(),
                              hostname.c_str(), asyncNameResolverMan_->getLastError().c_str()),
                          error_code::NAME_RESOLVE_ERROR);
    }
    return finishResolution(addrs, hostname, port);
  }
  NameResolver resolver;
  resolver.setSocktype(SOCK_STREAM);
  if (e_->getOption() && e_->getOption()->getAsBool(PREF_DISABLE_IPV6)) {
    resolver.setFamily(AF_INET);
  }
  resolver.resolve(addrs, hostname);
  return finishResolution(addrs, hostname, port);
}

std::string AbstractCommand::finishResolution(const std::vector<std::string>& addrs,
                                              const std::string& hostname, uint16_t port) {
  QLOG_INFO(fmt("CUID#%" PRId64 " - Name resolution complete: %s -> %s", getCuid(),
                hostname.c_str(), joinAddrs(addrs).c_str()));
  for (const auto& addr : addrs) {
    e_->cacheIPAddress(hostname, addr, port);
  }
  return e_->findCachedIPAddress(hostname, port);
}

bool AbstractCommand::checkIfConnectionEstablished(const std::shared_ptr<SocketCore>& socket,
                                                   const std::string& connectedHostname,
                                                   const std::string& connectedAddr,
                                                   uint16_t connectedPort) {
  std::string error = socket->getSocketError();
  if (error.empty()) {
    return true;
  }
  e_->markBadIPAddress(connectedHostname, connectedAddr, connectedPort);
  if (!e_->findCachedIPAddress(connectedHostname, connectedPort).empty()) {
    QLOG_INFO(fmt("CUID#%" PRId64 " - Could not to connect to %s:%u. Trying another address",
                  getCuid(), connectedAddr.c_str(), connectedPort));
    e_->setNoWait(true);
    e_->addCommand(InitiateConnectionCommandFactory::createInitiateConnectionCommand(
        getCuid(), req_, fileEntry_, requestGroup_, e_));
    return false;
  }
  e_->removeCachedIPAddress(connectedHostname, connectedPort);
  // Through a GET proxy the endpoint that failed was the proxy, not the server.
  if (!(resolveProxyMethod(req_->getProtocol()) == V_GET &&
        isProxyRequest(req_->getProtocol(), getOption()))) {
    markServerError();
  }
  throw DL_RETRY_EX(fmt(_("Failed to establish connection, cause: %s"), error.c_str()));
}

}  // namespace quarn
