#include "client/ftp/FtpNegotiationCommand.h"

#include "client/common/length_limit.h"

#include "client/auth/AuthConfigFactory.h"
#include "client/common/user_socket_pool.h"
#include "client/ftp/FtpConnection.h"
#include "client/ftp/FtpDownloadCommand.h"
#include "client/http/HttpConnection.h"
#include "client/http/HttpRequest.h"
#include "client/http/HttpResponse.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_chars.h"
#include "foundation/util_path.h"
#include "foundation/util_string.h"
#include "net/SocketCore.h"
#include "net/SocketRecvBuffer.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/NullProgressInfoFile.h"
#include "storage/PieceStorage.h"
#include "storage/Request.h"
#include "storage/Segment.h"
#include "storage/SegmentMan.h"
#include "storage/URISelector.h"

namespace quarn {

FtpNegotiationCommand::FtpNegotiationCommand(cuid_t cuid, const std::shared_ptr<Request>& req,
                                             const std::shared_ptr<FileEntry>& fileEntry,
                                             RequestGroup* requestGroup, DownloadEngine* e,
                                             const std::shared_ptr<SocketCore>& socket, Seq seq,
                                             const std::string& baseWorkingDir)
    : AbstractCommand(cuid, req, fileEntry, requestGroup, e, socket, nullptr, true),
      sequence_(seq),
      ftp_(std::make_shared<FtpConnection>(
          cuid, socket, req,
          std::shared_ptr<AuthConfig>(
              authConfigFactory(e)->createAuthConfig(req, requestGroup->getOption().get())),
          requestGroup->getOption().get())),
      dataConnPort_(0) {
  ftp_->setBaseWorkingDir(baseWorkingDir);
  if (seq == SEQ_RECV_GREETING) {
    setTimeout(getOption()->getAsInt(PREF_CONNECT_TIMEOUT));
  }
  setWriteCheckSocket(getSocket());
}

FtpNegotiationCommand::~FtpNegotiationCommand() = default;

bool FtpNegotiationCommand::executeInternal() {
  if (sequence_ == SEQ_RECV_GREETING || sequence_ == SEQ_SEND_CWD_PREP) {
    // Nothing of a path that would break the command line may reach the
    // server, not even the login before it.
    FtpConnection::checkArgument(
        util::percentDecode(getRequest()->getDir().begin(), getRequest()->getDir().end()));
    FtpConnection::checkArgument(
        util::percentDecode(getRequest()->getFile().begin(), getRequest()->getFile().end()));
  }
  std::shared_ptr<Segment> segment = getSegments().empty() ? nullptr : getSegments().front();
  while (processSequence(segment)) {
  }
  switch (sequence_) {
    case SEQ_NEGOTIATION_COMPLETED: {
      auto command = std::make_unique<FtpDownloadCommand>(
          getCuid(), getRequest(), getFileEntry(), getRequestGroup(), ftp_, getDownloadEngine(),
          dataSocket_, getSocket());
      command->setStartupIdleTime(getOption()->getAsInt(PREF_STARTUP_IDLE_TIME));
      command->setLowestDownloadSpeedLimit(getOption()->getAsInt(PREF_LOWEST_SPEED_LIMIT));
      if (getFileEntry()->isUniqueProtocol()) {
        getFileEntry()->removeURIWhoseHostnameIs(getRequest()->getHost());
      }
      getRequestGroup()->getURISelector()->tuneDownloadCommand(getFileEntry()->getRemainingUris(),
                                                               command.get());
      getDownloadEngine()->addCommand(std::move(command));
      return true;
    }
    case SEQ_HEAD_OK:
    case SEQ_DOWNLOAD_ALREADY_COMPLETED:
    case SEQ_EXIT:
      return true;
    case SEQ_FILE_PREPARATION:
      sequence_ = dataConnectionStart();
      return false;
    default:
      addCommandSelf();
      return false;
  }
}

FtpNegotiationCommand::Seq FtpNegotiationCommand::dataConnectionStart() const {
  return getOption()->getAsBool(PREF_FTP_PASV) ? SEQ_PREPARE_PASV : SEQ_PREPARE_PORT;
}

void FtpNegotiationCommand::statusError(int status) const {
  throw DL_ABORT_EX(fmt(_("The response status is not successful. status=%d"), status),
                    error_code::FTP_PROTOCOL_ERROR);
}

bool FtpNegotiationCommand::sendStep(bool sent, Seq next) {
  if (sent) {
    disableWriteCheckSocket();
    sequence_ = next;
  } else {
    setWriteCheckSocket(getSocket());
  }
  return false;
}

bool FtpNegotiationCommand::recvGreeting() {
  setTimeout(getRequestGroup()->getTimeout());
  disableWriteCheckSocket();
  setReadCheckSocket(getSocket());
  int status = ftp_->receiveResponse();
  if (status == 0) {
    return false;
  }
  if (status != 220) {
    throw DL_ABORT_EX(_("Connection failed."), error_code::FTP_PROTOCOL_ERROR);
  }
  sequence_ = SEQ_SEND_USER;
  return true;
}

bool FtpNegotiationCommand::recvUser() {
  int status = ftp_->receiveResponse();
  switch (status) {
    case 0:
      return false;
    case 230:
      sequence_ = SEQ_SEND_TYPE;
      return true;
    case 331:
      sequence_ = SEQ_SEND_PASS;
      return true;
    default:
      statusError(status);
  }
}

bool FtpNegotiationCommand::recvPass() {
  int status = ftp_->receiveResponse();
  if (status == 0) {
    return false;
  }
  if (status != 230) {
    statusError(status);
  }
  sequence_ = SEQ_SEND_TYPE;
  return true;
}

bool FtpNegotiationCommand::recvType() {
  int status = ftp_->receiveResponse();
  if (status == 0) {
    return false;
  }
  if (status != 200) {
    statusError(status);
  }
  sequence_ = SEQ_SEND_PWD;
  return true;
}

bool FtpNegotiationCommand::recvPwd() {
  std::string pwd;
  int status = ftp_->receivePwdResponse(pwd);
  if (status == 0) {
    return false;
  }
  if (status != 257) {
    statusError(status);
  }
  ftp_->setBaseWorkingDir(pwd);
  QLOG_INFO(fmt("CUID#%lld - base working directory is '%s'", static_cast<long long>(getCuid()),
                pwd.c_str()));
  sequence_ = SEQ_SEND_CWD_PREP;
  return true;
}

bool FtpNegotiationCommand::sendCwdPrep() {
  setReadCheckSocket(getSocket());
  cwdDirs_.clear();
  cwdDirs_.push_back(ftp_->getBaseWorkingDir());
  const std::string& dir = getRequest()->getDir();
  util::split(dir.begin(), dir.end(), std::back_inserter(cwdDirs_), '/');
  sequence_ = SEQ_SEND_CWD;
  return true;
}

bool FtpNegotiationCommand::recvCwd() {
  int status = ftp_->receiveResponse();
  if (status == 0) {
    return false;
  }
  if (status != 250) {
    poolConnection();
    getRequestGroup()->increaseAndValidateFileNotFoundCount();
    if (status == 550) {
      throw DL_ABORT_EX(_("Resource not found"), error_code::RESOURCE_NOT_FOUND);
    }
    statusError(status);
  }
  cwdDirs_.pop_front();
  if (!cwdDirs_.empty()) {
    sequence_ = SEQ_SEND_CWD;
  } else if (getOption()->getAsBool(PREF_REMOTE_TIME)) {
    sequence_ = SEQ_SEND_MDTM;
  } else {
    sequence_ = SEQ_SEND_SIZE;
  }
  return true;
}

bool FtpNegotiationCommand::recvMdtm() {
  Time lastModifiedTime = Time::null();
  int status = ftp_->receiveMdtmResponse(lastModifiedTime);
  if (status == 0) {
    return false;
  }
  if (status == 213) {
    if (lastModifiedTime.good()) {
      getRequestGroup()->updateLastModifiedTime(lastModifiedTime);
      QLOG_DEBUG(fmt("MDTM result was parsed as: %s", lastModifiedTime.toHTTPDate().c_str()));
    } else {
      QLOG_DEBUG(
          "MDTM response was returned, but it seems not to be a time value as in specified in "
          "RFC3659.");
    }
  } else {
    QLOG_INFO(fmt("CUID#%lld - MDTM command failed.", static_cast<long long>(getCuid())));
  }
  sequence_ = SEQ_SEND_SIZE;
  return true;
}

bool FtpNegotiationCommand::recvSize() {
  int64_t size = 0;
  int status = ftp_->receiveSizeResponse(size);
  if (status == 0) {
    return false;
  }
  if (status == 213) {
    if (!getPieceStorage()) {
      sequence_ = SEQ_FILE_PREPARATION;
      return onFileSizeDetermined(size);
    }
    getRequestGroup()->validateTotalLength(getFileEntry()->getLength(), size);
  } else {
    QLOG_INFO(fmt("CUID#%lld - The remote FTP Server doesn't recognize SIZE command. Continue.",
                  static_cast<long long>(getCuid())));
    if (!getPieceStorage()) {
      getDownloadContext()->setKnowsTotalLength(false);
      return onFileSizeDetermined(0);
    }
  }
  sequence_ = dataConnectionStart();
  return true;
}

bool FtpNegotiationCommand::onFileSizeDetermined(int64_t totalLength) {
  checkAnnouncedLength(totalLength, getDownloadContext()->getPieceLength());
  getFileEntry()->setLength(totalLength);
  if (getFileEntry()->getPath().empty()) {
    const std::string& file = getRequest()->getFile();
    std::string name = util::createSafePath(util::percentDecode(file.begin(), file.end()));
    getFileEntry()->setPath(util::applyDir(getOption()->get(PREF_DIR), name));
    getFileEntry()->setSuffixPath(name);
  }
  getRequestGroup()->preDownloadProcessing();
  if (totalLength != 0) {
    getRequestGroup()->adjustFilename(std::make_shared<DefaultBtProgressInfoFile>(
        getDownloadContext(), nullptr, getOption().get()));
    getRequestGroup()->initPieceStorage();
    if (getOption()->getAsBool(PREF_DRY_RUN)) {
      onDryRunFileFound();
      return false;
    }
    if (!getRequestGroup()->openStorage()) {
      sequence_ = SEQ_DOWNLOAD_ALREADY_COMPLETED;
      poolConnection();
      return false;
    }
    getSegmentMan()->getSegmentWithIndex(getCuid(), 0);
    startOtherConnections();
    sequence_ = dataConnectionStart();
    return true;
  }
  sequence_ = dataConnectionStart();
  getRequestGroup()->adjustFilename(std::make_shared<NullProgressInfoFile>());
  getRequestGroup()->initPieceStorage();
  if (getOption()->getAsBool(PREF_DRY_RUN)) {
    onDryRunFileFound();
    return false;
  }
  getPieceStorage()->getDiskAdaptor()->initAndOpenFile();
  if (!getDownloadContext()->knowsTotalLength()) {
    getSegmentMan()->getSegmentWithIndex(getCuid(), 0);
    return true;
  }
  QLOG_DEBUG("File length becomes zero and it means download completed.");
  sequence_ = SEQ_DOWNLOAD_ALREADY_COMPLETED;
  getPieceStorage()->markAllPiecesDone();
  poolConnection();
  return false;
}

void FtpNegotiationCommand::startOtherConnections() {
  std::vector<std::unique_ptr<Command>> commands;
  getRequestGroup()->createNextCommandWithAdj(commands, getDownloadEngine(), -1);
  getDownloadEngine()->setNoWait(true);
  getDownloadEngine()->addCommand(std::move(commands));
}

void FtpNegotiationCommand::onDryRunFileFound() {
  getPieceStorage()->markAllPiecesDone();
  getDownloadContext()->setChecksumVerified(true);
  poolConnection();
  sequence_ = SEQ_HEAD_OK;
}

void FtpNegotiationCommand::poolConnection() const {
  if (getOption()->getAsBool(PREF_FTP_REUSE_CONNECTION)) {
    poolUserSocket(getDownloadEngine(), getRequest(), ftp_->getUser(), createProxyRequest(),
                   getSocket(), ftp_->getBaseWorkingDir());
  }
}

bool FtpNegotiationCommand::preparePort() {
  setReadCheckSocket(getSocket());
  sequence_ = getSocket()->getAddressFamily() == AF_INET6 ? SEQ_PREPARE_SERVER_SOCKET_EPRT
                                                          : SEQ_PREPARE_SERVER_SOCKET;
  return true;
}

bool FtpNegotiationCommand::prepareServerSocketEprt() {
  serverSocket_ = ftp_->createServerSocket();
  sequence_ = SEQ_SEND_EPRT;
  return true;
}

bool FtpNegotiationCommand::recvEprt() {
  int status = ftp_->receiveResponse();
  if (status == 0) {
    return false;
  }
  sequence_ = status == 200 ? SEQ_SEND_REST : SEQ_PREPARE_SERVER_SOCKET;
  return true;
}

bool FtpNegotiationCommand::prepareServerSocket() {
  serverSocket_ = ftp_->createServerSocket();
  sequence_ = SEQ_SEND_PORT;
  return true;
}

bool FtpNegotiationCommand::recvPort() {
  int status = ftp_->receiveResponse();
  if (status == 0) {
    return false;
  }
  if (status != 200) {
    statusError(status);
  }
  sequence_ = SEQ_SEND_REST;
  return true;
}

bool FtpNegotiationCommand::preparePasv() {
  setReadCheckSocket(getSocket());
  sequence_ = getSocket()->getAddressFamily() == AF_INET6 ? SEQ_SEND_EPSV : SEQ_SEND_PASV;
  return true;
}

bool FtpNegotiationCommand::recvEpsv() {
  uint16_t port = 0;
  int status = ftp_->receiveEpsvResponse(port);
  if (status == 0) {
    return false;
  }
  if (status != 229) {
    sequence_ = SEQ_SEND_PASV;
    return true;
  }
  dataConnPort_ = port;
  return preparePasvConnect();
}

bool FtpNegotiationCommand::recvPasv() {
  std::pair<std::string, uint16_t> dest;
  int status = ftp_->receivePasvResponse(dest);
  if (status == 0) {
    return false;
  }
  if (status != 227) {
    statusError(status);
  }
  dataConnPort_ = dest.second;
  return preparePasvConnect();
}

bool FtpNegotiationCommand::preparePasvConnect() {
  if (isProxyDefined()) {
    sequence_ = SEQ_RESOLVE_PROXY;
    return true;
  }
  Endpoint peer = getSocket()->getPeerInfo();
  QLOG_INFO(fmt("CUID#%lld - Connecting to %s:%d", static_cast<long long>(getCuid()),
                peer.addr.c_str(), dataConnPort_));
  dataSocket_ = std::make_shared<SocketCore>();
  dataSocket_->establishConnection(peer.addr, dataConnPort_, false);
  disableReadCheckSocket();
  setWriteCheckSocket(dataSocket_);
  sequence_ = SEQ_SEND_REST_PASV;
  return false;
}

bool FtpNegotiationCommand::resolveProxy() {
  std::shared_ptr<Request> proxyReq = createProxyRequest();
  std::vector<std::string> addrs;
  proxyAddr_ = resolveHostname(addrs, proxyReq->getHost(), proxyReq->getPort());
  if (proxyAddr_.empty()) {
    return false;
  }
  QLOG_INFO(fmt("CUID#%lld - Connecting to %s:%d", static_cast<long long>(getCuid()),
                proxyAddr_.c_str(), proxyReq->getPort()));
  dataSocket_ = std::make_shared<SocketCore>();
  dataSocket_->establishConnection(proxyAddr_, proxyReq->getPort());
  disableReadCheckSocket();
  setWriteCheckSocket(dataSocket_);
  httpConnection_ = std::make_shared<HttpConnection>(
      getCuid(), dataSocket_, std::make_shared<SocketRecvBuffer>(dataSocket_));
  sequence_ = SEQ_SEND_TUNNEL_REQUEST;
  return false;
}

bool FtpNegotiationCommand::sendTunnelRequest() {
  if (httpConnection_->sendBufferIsEmpty()) {
    if (dataSocket_->isReadable(0)) {
      std::string error = dataSocket_->getSocketError();
      if (!error.empty()) {
        std::shared_ptr<Request> proxyReq = createProxyRequest();
        getDownloadEngine()->markBadIPAddress(proxyReq->getHost(), proxyAddr_, proxyReq->getPort());
        std::string nextAddr =
            getDownloadEngine()->findCachedIPAddress(proxyReq->getHost(), proxyReq->getPort());
        if (nextAddr.empty()) {
          getDownloadEngine()->removeCachedIPAddress(proxyReq->getHost(), proxyReq->getPort());
          throw DL_RETRY_EX(fmt(_("Failed to establish connection, cause: %s"), error.c_str()));
        }
        QLOG_INFO(fmt("CUID#%lld - Could not to connect to %s:%u. Trying another address",
                      static_cast<long long>(getCuid()), proxyAddr_.c_str(), proxyReq->getPort()));
        proxyAddr_ = nextAddr;
        QLOG_INFO(fmt("CUID#%lld - Connecting to %s:%d", static_cast<long long>(getCuid()),
                      proxyAddr_.c_str(), proxyReq->getPort()));
        dataSocket_->establishConnection(proxyAddr_, proxyReq->getPort());
        return false;
      }
    }
    auto httpRequest = std::make_unique<HttpRequest>();
    httpRequest->setUserAgent(getOption()->get(PREF_USER_AGENT));
    uri::UriStruct us;
    us.protocol = "ftp";
    us.host = getRequest()->getHost();
    us.port = dataConnPort_;
    us.ipv6LiteralAddress = getRequest()->isIPv6LiteralAddress();
    auto req = std::make_shared<Request>();
    if (!req->setUri(uri::construct(us))) {
      throw DL_RETRY_EX("Something wrong with FTP URI");
    }
    httpRequest->setRequest(req);
    httpRequest->setProxyRequest(createProxyRequest());
    httpConnection_->sendProxyRequest(std::move(httpRequest));
  } else {
    httpConnection_->sendPendingData();
  }
  if (httpConnection_->sendBufferIsEmpty()) {
    disableWriteCheckSocket();
    setReadCheckSocket(dataSocket_);
    sequence_ = SEQ_RECV_TUNNEL_RESPONSE;
  } else {
    setWriteCheckSocket(dataSocket_);
  }
  return false;
}

bool FtpNegotiationCommand::recvTunnelResponse() {
  std::unique_ptr<HttpResponse> response = httpConnection_->receiveResponse();
  if (!response) {
    return false;
  }
  if (response->getStatusCode() != 200) {
    throw DL_RETRY_EX(_("Proxy connection failed."));
  }
  sequence_ = SEQ_SEND_REST_PASV;
  return true;
}

bool FtpNegotiationCommand::sendRestPasv(const std::shared_ptr<Segment>& segment) {
  if (dataSocket_->isReadable(0)) {
    throw DL_ABORT_EX(
        fmt(_("Failed to establish connection, cause: %s"), dataSocket_->getSocketError().c_str()),
        error_code::FTP_PROTOCOL_ERROR);
  }
  setReadCheckSocket(getSocket());
  disableWriteCheckSocket();
  return sendStep(ftp_->sendRest(segment), SEQ_RECV_REST);
}

bool FtpNegotiationCommand::recvRest(const std::shared_ptr<Segment>& segment) {
  int status = ftp_->receiveResponse();
  if (status == 0) {
    return false;
  }
  if (status != 350 && segment && segment->getPositionToWrite() != 0) {
    throw DL_ABORT_EX("FTP server doesn't support resuming.", error_code::CANNOT_RESUME);
  }
  sequence_ = SEQ_SEND_RETR;
  return true;
}

bool FtpNegotiationCommand::recvRetr() {
  int status = ftp_->receiveResponse();
  if (status == 0) {
    return false;
  }
  if (status != 150 && status != 125) {
    getRequestGroup()->increaseAndValidateFileNotFoundCount();
    if (status == 550) {
      throw DL_ABORT_EX(_("Resource not found"), error_code::RESOURCE_NOT_FOUND);
    }
    statusError(status);
  }
  if (getOption()->getAsBool(PREF_FTP_PASV)) {
    sequence_ = SEQ_NEGOTIATION_COMPLETED;
  } else {
    disableReadCheckSocket();
    setReadCheckSocket(serverSocket_);
    sequence_ = SEQ_WAIT_CONNECTION;
  }
  return false;
}

bool FtpNegotiationCommand::waitConnection() {
  disableReadCheckSocket();
  setReadCheckSocket(getSocket());
  dataSocket_ = serverSocket_->acceptConnection();
  dataSocket_->setNonBlockingMode();
  sequence_ = SEQ_NEGOTIATION_COMPLETED;
  return false;
}

bool FtpNegotiationCommand::processSequence(const std::shared_ptr<Segment>& segment) {
  switch (sequence_) {
    case SEQ_RECV_GREETING:
      return recvGreeting();
    case SEQ_SEND_USER:
      return sendStep(ftp_->sendUser(), SEQ_RECV_USER);
    case SEQ_RECV_USER:
      return recvUser();
    case SEQ_SEND_PASS:
      return sendStep(ftp_->sendPass(), SEQ_RECV_PASS);
    case SEQ_RECV_PASS:
      return recvPass();
    case SEQ_SEND_TYPE:
      return sendStep(ftp_->sendType(), SEQ_RECV_TYPE);
    case SEQ_RECV_TYPE:
      return recvType();
    case SEQ_SEND_PWD:
      return sendStep(ftp_->sendPwd(), SEQ_RECV_PWD);
    case SEQ_RECV_PWD:
      return recvPwd();
    case SEQ_SEND_CWD_PREP:
      return sendCwdPrep();
    case SEQ_SEND_CWD:
      return sendStep(ftp_->sendCwd(cwdDirs_.front()), SEQ_RECV_CWD);
    case SEQ_RECV_CWD:
      return recvCwd();
    case SEQ_SEND_MDTM:
      return sendStep(ftp_->sendMdtm(), SEQ_RECV_MDTM);
    case SEQ_RECV_MDTM:
      return recvMdtm();
    case SEQ_SEND_SIZE:
      return sendStep(ftp_->sendSize(), SEQ_RECV_SIZE);
    case SEQ_RECV_SIZE:
      return recvSize();
    case SEQ_PREPARE_PORT:
      return preparePort();
    case SEQ_PREPARE_SERVER_SOCKET_EPRT:
      return prepareServerSocketEprt();
    case SEQ_SEND_EPRT:
      return sendStep(ftp_->sendEprt(serverSocket_), SEQ_RECV_EPRT);
    case SEQ_RECV_EPRT:
      return recvEprt();
    case SEQ_PREPARE_SERVER_SOCKET:
      return prepareServerSocket();
    case SEQ_SEND_PORT:
      return sendStep(ftp_->sendPort(serverSocket_), SEQ_RECV_PORT);
    case SEQ_RECV_PORT:
      return recvPort();
    case SEQ_PREPARE_PASV:
      return preparePasv();
    case SEQ_SEND_EPSV:
      return sendStep(ftp_->sendEpsv(), SEQ_RECV_EPSV);
    case SEQ_RECV_EPSV:
      return recvEpsv();
    case SEQ_SEND_PASV:
      return sendStep(ftp_->sendPasv(), SEQ_RECV_PASV);
    case SEQ_RECV_PASV:
      return recvPasv();
    case SEQ_RESOLVE_PROXY:
      return resolveProxy();
    case SEQ_SEND_TUNNEL_REQUEST:
      return sendTunnelRequest();
    case SEQ_RECV_TUNNEL_RESPONSE:
      return recvTunnelResponse();
    case SEQ_SEND_REST_PASV:
      return sendRestPasv(segment);
    case SEQ_SEND_REST:
      return sendStep(ftp_->sendRest(segment), SEQ_RECV_REST);
    case SEQ_RECV_REST:
      return recvRest(segment);
    case SEQ_SEND_RETR:
      return sendStep(ftp_->sendRetr(), SEQ_RECV_RETR);
    case SEQ_RECV_RETR:
      return recvRetr();
    case SEQ_WAIT_CONNECTION:
      return waitConnection();
    default:
      return false;
  }
}

}  // namespace quarn
