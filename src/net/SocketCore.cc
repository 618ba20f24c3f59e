#include "net/SocketCore.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstring>
#include <utility>

#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_address.h"
#include "foundation/util_number.h"
#include "foundation/util_process.h"
#include "foundation/util_string.h"
#include "net/SSHSession.h"
#include "net/TLSSession.h"
#include "net/net_address.h"
#include "net/util_net.h"

namespace quarn {

int SocketCore::protocolFamily_ = AF_UNSPEC;
int SocketCore::ipDscp_ = 0;
int SocketCore::socketRecvBufferSize_ = 0;
std::vector<SockAddr> SocketCore::bindAddrs_;
std::vector<std::vector<SockAddr>> SocketCore::bindAddrsList_;
size_t SocketCore::bindAddrsListIt_ = 0;
std::shared_ptr<TLSContext> SocketCore::clTlsContext_;
std::function<std::shared_ptr<TLSContext>()> SocketCore::clTlsContextFactory_;
std::shared_ptr<TLSContext> SocketCore::svTlsContext_;

namespace {

std::string errnoText(int errNum) {
  return util::safeStrerror(errNum);
}

void applySocketBufferSize(int fd) {
  int recvBufSize = SocketCore::getSocketRecvBufferSize();
  if (recvBufSize == 0) {
    return;
  }
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &recvBufSize, sizeof(recvBufSize)) == -1) {
    int errNum = errno;
    QLOG_WARN(fmt("Failed to set socket buffer size. Cause: %s", errnoText(errNum).c_str()));
  }
}

// A new descriptor with close-on-exec and, when reuseAddr, SO_REUSEADDR; -1
// with the error text in `error` on failure.
int openSocket(int family, int type, int protocol, std::string& error, bool reuseAddr = true) {
  int fd = socket(family, type, protocol);
  if (fd == -1) {
    error = errnoText(errno);
    return -1;
  }
  util::make_fd_cloexec(fd);
  int on = 1;
  if (reuseAddr && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) == -1) {
    error = errnoText(errno);
    close(fd);
    return -1;
  }
  return fd;
}

int bindInternal(int family, int type, int protocol, const sockaddr* addr, socklen_t addrlen,
                 std::string& error, bool reuseAddr) {
  int fd = openSocket(family, type, protocol, error, reuseAddr);
  if (fd == -1) {
    return -1;
  }
  if (family == AF_INET6) {
    // An IPv6 socket sharing a port with an IPv4 one must not take its traffic.
    int on = 1;
    if (setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on)) == -1) {
      error = errnoText(errno);
      close(fd);
      return -1;
    }
  }
  applySocketBufferSize(fd);
  if (::bind(fd, addr, addrlen) == -1) {
    error = errnoText(errno);
    close(fd);
    return -1;
  }
  return fd;
}

int bindTo(const char* host, uint16_t port, int family, int sockType, int getaddrinfoFlags,
           std::string& error, bool reuseAddr) {
  addrinfo* raw = nullptr;
  int s =
      callGetaddrinfo(&raw, host, util::uitos(port).c_str(), family, sockType, getaddrinfoFlags, 0);
  if (s != 0) {
    error = gai_strerror(s);
    return -1;
  }
  AddrinfoPtr res(raw);
  for (addrinfo* rp = res.get(); rp; rp = rp->ai_next) {
    int fd = bindInternal(rp->ai_family, rp->ai_socktype, rp->ai_protocol, rp->ai_addr,
                          rp->ai_addrlen, error, reuseAddr);
    if (fd != -1) {
      return fd;
    }
  }
  return -1;
}

// Repeats an fcntl flag change while it is interrupted; other failures are
// ignored (the descriptor keeps its mode).
void changeFlag(int fd, int flag, bool on) {
  int flags;
  while ((flags = fcntl(fd, F_GETFL, 0)) == -1 && errno == EINTR) {
  }
  if (flags == -1) {
    return;
  }
  flags = on ? (flags | flag) : (flags & ~flag);
  while (fcntl(fd, F_SETFL, flags) == -1 && errno == EINTR) {
  }
}

bool pollFor(int fd, short events, time_t timeout, const char* failureFormat) {
  pollfd p{};
  p.fd = fd;
  p.events = events;
  int r;
  while ((r = poll(&p, 1, static_cast<int>(timeout * 1000))) == -1 && errno == EINTR) {
  }
  if (r > 0) {
    return (p.revents & (events | POLLERR | POLLHUP)) != 0;
  }
  if (r == 0) {
    return false;
  }
  int errNum = errno;
  throw DL_RETRY_EX(fmt(failureFormat, errnoText(errNum).c_str()));
}

void checkIPv4Numeric(const std::string& addr) {
  in_addr dummy;
  if (inetPton(AF_INET, addr.c_str(), &dummy) == -1) {
    throw DL_ABORT_EX(fmt("%s is not valid IPv4 numeric address", addr.c_str()));
  }
}

in_addr toInAddrOrAny(const std::string& addr) {
  in_addr in;
  if (addr.empty()) {
    in.s_addr = htonl(INADDR_ANY);
  } else {
    inetPton(AF_INET, addr.c_str(), &in);
  }
  return in;
}

const char* tlsVersionName(TLSVersion version) {
  switch (version) {
    case TLS_PROTO_TLS11:
      return "TLSv1.1";
    case TLS_PROTO_TLS12:
      return "TLSv1.2";
    case TLS_PROTO_TLS13:
      return "TLSv1.3";
    default:
      return "unknown TLS version";
  }
}

}  // namespace

SocketCore::SocketCore(int sockType) : SocketCore(-1, sockType) {}

SocketCore::SocketCore(int sockfd, int sockType)
    : sockType_(sockType),
      sockfd_(sockfd),
      blocking_(true),
      secure_(TLS_NONE),
      wantRead_(false),
      wantWrite_(false) {}

SocketCore::~SocketCore() {
  closeConnection();
  tlsSession_.reset();
  sshSession_.reset();
}

void SocketCore::shutdownWrite() {
  if (sockfd_ != -1) {
    shutdown(sockfd_, SHUT_WR);
  }
}

int SocketCore::closeConnection() {
  if (tlsSession_) {
    tlsSession_->closeConnection();
    tlsSession_.reset();
  }
  if (sshSession_) {
    sshSession_->closeConnection();
    sshSession_.reset();
  }
  if (sockfd_ == -1) {
    return -1;
  }
  shutdown(sockfd_, SHUT_WR);
  int rv = close(sockfd_);
  sockfd_ = -1;
  return rv;
}

void SocketCore::create(int family, int protocol) {
  closeConnection();
  std::string error;
  int fd = openSocket(family, sockType_, protocol, error);
  if (fd == -1) {
    throw DL_ABORT_EX(fmt("Failed to create socket. Cause:%s", error.c_str()));
  }
  applySocketBufferSize(fd);
  sockfd_ = fd;
}

void SocketCore::bind(const char* host, uint16_t port, int family, int flags) {
  closeConnection();
  std::string error;
  int fd = -1;
  if ((!host || !*host) && (flags & AI_PASSIVE) && !bindAddrsList_.empty()) {
    for (const auto& addrs : bindAddrsList_) {
      for (const auto& a : addrs) {
        if (family != AF_UNSPEC && family != a.su.storage.ss_family) {
          continue;
        }
        char numericHost[NI_MAXHOST];
        int s = getnameinfo(&a.su.sa, a.suLength, numericHost, sizeof(numericHost), nullptr, 0,
                            NI_NUMERICHOST);
        if (s != 0) {
          error = gai_strerror(s);
          continue;
        }
        fd = bindTo(numericHost, port, family, sockType_, flags, error, reuseAddr_);
        if (fd != -1) {
          break;
        }
      }
      if (fd != -1) {
        break;
      }
    }
  } else {
    fd = bindTo(host && *host ? host : nullptr, port, family, sockType_, flags, error, reuseAddr_);
  }
  if (fd == -1) {
    throw DL_ABORT_EX(fmt(_("Failed to bind a socket, cause: %s"), error.c_str()));
  }
  sockfd_ = fd;
}

void SocketCore::bind(uint16_t port, int flags) {
  bind(nullptr, port, protocolFamily_, flags);
}

void SocketCore::bindWithFamily(uint16_t port, int family, int flags) {
  closeConnection();
  std::string error;
  int fd = bindTo(nullptr, port, family, sockType_, flags, error, reuseAddr_);
  if (fd == -1) {
    throw DL_ABORT_EX(fmt(_("Failed to bind a socket, cause: %s"), error.c_str()));
  }
  sockfd_ = fd;
}

void SocketCore::bind(const sockaddr* addr, socklen_t addrlen) {
  closeConnection();
  std::string error;
  int fd = bindInternal(addr->sa_family, sockType_, 0, addr, addrlen, error, reuseAddr_);
  if (fd == -1) {
    throw DL_ABORT_EX(fmt(_("Failed to bind a socket, cause: %s"), error.c_str()));
  }
  sockfd_ = fd;
}

void SocketCore::beginListen() {
  if (listen(sockfd_, 1024) == -1) {
    int errNum = errno;
    throw DL_ABORT_EX(fmt(_("Failed to listen to a socket, cause: %s"), errnoText(errNum).c_str()));
  }
  setNonBlockingMode();
}

std::shared_ptr<SocketCore> SocketCore::acceptConnection() const {
  sockaddr_union su;
  socklen_t len = sizeof(su);
  int fd;
  // Close-on-exec from the start: hook commands must not inherit peers.
  while ((fd = accept4(sockfd_, &su.sa, &len, SOCK_CLOEXEC)) == -1 && errno == EINTR) {
  }
  if (fd == -1) {
    int errNum = errno;
    throw DL_ABORT_EX(
        fmt(_("Failed to accept a peer connection, cause: %s"), errnoText(errNum).c_str()));
  }
  applySocketBufferSize(fd);
  auto sock = std::make_shared<SocketCore>(fd, sockType_);
  sock->setNonBlockingMode();
  return sock;
}

void SocketCore::establishConnection(const std::string& host, uint16_t port, bool tcpNodelay) {
  closeConnection();
  addrinfo* raw = nullptr;
  int s = callGetaddrinfo(&raw, host.c_str(), util::uitos(port).c_str(), protocolFamily_, sockType_,
                          0, 0);
  if (s != 0) {
    throw DL_ABORT_EX(
        fmt(_("Failed to resolve the hostname %s, cause: %s"), host.c_str(), gai_strerror(s)));
  }
  AddrinfoPtr res(raw);
  std::string error;
  for (addrinfo* rp = res.get(); rp; rp = rp->ai_next) {
    int fd = openSocket(rp->ai_family, rp->ai_socktype, rp->ai_protocol, error);
    if (fd == -1) {
      continue;
    }
    applySocketBufferSize(fd);
    if (!bindAddrs_.empty()) {
      bool bound = false;
      for (const auto& a : bindAddrs_) {
        if (::bind(fd, &a.su.sa, a.suLength) == -1) {
          error = errnoText(errno);
          QLOG_DEBUG(fmt("Failed to bind a socket, cause: %s", error.c_str()));
          continue;
        }
        bound = true;
        break;
      }
      if (!bound) {
        close(fd);
        continue;
      }
    }
    if (!bindAddrsList_.empty()) {
      bindAddrsListIt_ = (bindAddrsListIt_ + 1) % bindAddrsList_.size();
      bindAddrs_ = bindAddrsList_[bindAddrsListIt_];
    }
    sockfd_ = fd;
    setNonBlockingMode();
    if (tcpNodelay) {
      setTcpNodelay(true);
    }
    if (connect(fd, rp->ai_addr, rp->ai_addrlen) == -1 && errno != EINPROGRESS) {
      error = errnoText(errno);
      close(sockfd_);
      sockfd_ = -1;
      continue;
    }
    return;
  }
  throw DL_ABORT_EX(
      fmt(_("Failed to connect to the host %s, cause: %s"), host.c_str(), error.c_str()));
}

void SocketCore::getAddrInfo(sockaddr_union& sockaddr, socklen_t& len) const {
  len = sizeof(sockaddr);
  if (getsockname(sockfd_, &sockaddr.sa, &len) == -1) {
    int errNum = errno;
    throw DL_ABORT_EX(
        fmt(_("Failed to get the name of socket, cause: %s"), errnoText(errNum).c_str()));
  }
}

Endpoint SocketCore::getAddrInfo() const {
  sockaddr_union sockaddr;
  socklen_t len;
  getAddrInfo(sockaddr, len);
  return util::getNumericNameInfo(&sockaddr.sa, len);
}

int SocketCore::getAddressFamily() const {
  sockaddr_union sockaddr;
  socklen_t len;
  getAddrInfo(sockaddr, len);
  return sockaddr.storage.ss_family;
}

Endpoint SocketCore::getPeerInfo() const {
  sockaddr_union sockaddr;
  socklen_t len = sizeof(sockaddr);
  if (getpeername(sockfd_, &sockaddr.sa, &len) == -1) {
    int errNum = errno;
    throw DL_ABORT_EX(
        fmt(_("Failed to get the name of socket, cause: %s"), errnoText(errNum).c_str()));
  }
  return util::getNumericNameInfo(&sockaddr.sa, len);
}

void SocketCore::setSockOpt(int level, int optname, void* optval, socklen_t optlen) {
  if (setsockopt(sockfd_, level, optname, optval, optlen) < 0) {
    int errNum = errno;
    throw DL_ABORT_EX(
        fmt(_("Failed to set a socket option, cause: %s"), errnoText(errNum).c_str()));
  }
}

void SocketCore::setTcpNodelay(bool f) {
  int val = f ? 1 : 0;
  setSockOpt(IPPROTO_TCP, TCP_NODELAY, &val, sizeof(val));
}

void SocketCore::setMulticastInterface(const std::string& localAddr) {
  if (!localAddr.empty()) {
    checkIPv4Numeric(localAddr);
  }
  in_addr addr = toInAddrOrAny(localAddr);
  setSockOpt(IPPROTO_IP, IP_MULTICAST_IF, &addr, sizeof(addr));
}

void SocketCore::setMulticastTtl(unsigned char ttl) {
  setSockOpt(IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof(ttl));
}

void SocketCore::setMulticastLoop(unsigned char loop) {
  setSockOpt(IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof(loop));
}

void SocketCore::joinMulticastGroup(const std::string& multicastAddr, uint16_t /*multicastPort*/,
                                    const std::string& localAddr) {
  checkIPv4Numeric(multicastAddr);
  if (!localAddr.empty()) {
    checkIPv4Numeric(localAddr);
  }
  ip_mreq mreq{};
  inetPton(AF_INET, multicastAddr.c_str(), &mreq.imr_multiaddr);
  mreq.imr_interface = toInAddrOrAny(localAddr);
  setSockOpt(IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof(mreq));
}

void SocketCore::applyIpDscp() {
  if (ipDscp_ == 0) {
    return;
  }
  try {
    int family = getAddressFamily();
    if (family == AF_INET) {
      setSockOpt(IPPROTO_IP, IP_TOS, &ipDscp_, sizeof(ipDscp_));
    } else if (family == AF_INET6) {
      setSockOpt(IPPROTO_IPV6, IPV6_TCLASS, &ipDscp_, sizeof(ipDscp_));
    }
  } catch (RecoverableException& e) {
    QLOG_INFO_EX("Applying DSCP value failed", e);
  }
}

void SocketCore::setNonBlockingMode() {
  changeFlag(sockfd_, O_NONBLOCK, true);
  blocking_ = false;
}

void SocketCore::setBlockingMode() {
  changeFlag(sockfd_, O_NONBLOCK, false);
  blocking_ = true;
}

bool SocketCore::isWritable(time_t timeout) {
  return pollFor(sockfd_, POLLOUT, timeout,
                 _("Failed to check whether the socket is writable, cause: %s"));
}

bool SocketCore::isReadable(time_t timeout) {
  return pollFor(sockfd_, POLLIN, timeout,
                 _("Failed to check whether the socket is readable, cause: %s"));
}

void SocketCore::clearWant() {
  wantRead_ = false;
  wantWrite_ = false;
}

// TLS and SSH sessions share their would-block result and direction codes.
static_assert(static_cast<int>(TLS_ERR_WOULDBLOCK) == static_cast<int>(SSH_ERR_WOULDBLOCK) &&
              static_cast<int>(TLS_WANT_READ) == static_cast<int>(SSH_WANT_READ));

void SocketCore::raiseWantFromDirection(int direction) {
  if (direction == TLS_WANT_READ) {
    wantRead_ = true;
  } else {
    wantWrite_ = true;
  }
}

ssize_t SocketCore::plainSendResult(ssize_t ret) {
  if (ret >= 0) {
    return ret;
  }
  int errNum = errno;
  if (errNum == EAGAIN || errNum == EWOULDBLOCK) {
    wantWrite_ = true;
    return 0;
  }
  throw DL_RETRY_EX(fmt(_("Failed to send data, cause: %s"), errnoText(errNum).c_str()));
}

ssize_t SocketCore::plainRecvResult(ssize_t ret) {
  if (ret >= 0) {
    return ret;
  }
  int errNum = errno;
  if (errNum == EAGAIN || errNum == EWOULDBLOCK) {
    wantRead_ = true;
    return 0;
  }
  throw DL_RETRY_EX(fmt(_("Failed to receive data, cause: %s"), errnoText(errNum).c_str()));
}

template <typename Session>
ssize_t SocketCore::sessionIoResult(Session& session, ssize_t ret, const char* failureFormat) {
  if (ret >= 0) {
    return ret;
  }
  if (ret == TLS_ERR_WOULDBLOCK) {
    raiseWantFromDirection(session.checkDirection());
    return 0;
  }
  throw DL_RETRY_EX(fmt(failureFormat, session.getLastErrorString().c_str()));
}

ssize_t SocketCore::writeData(const void* data, size_t len) {
  clearWant();
  if (secure_ != TLS_NONE) {
    return sessionIoResult(*tlsSession_, tlsSession_->writeData(data, len),
                           _("Failed to send data, cause: %s"));
  }
  ssize_t ret;
  // MSG_NOSIGNAL: a peer that went away must give an error, not SIGPIPE.
  while ((ret = send(sockfd_, data, len, MSG_NOSIGNAL)) == -1 && errno == EINTR) {
  }
  return plainSendResult(ret);
}

ssize_t SocketCore::writeVector(iovec* iov, size_t iovcnt) {
  clearWant();
  if (secure_ != TLS_NONE) {
    ssize_t total = 0;
    for (size_t i = 0; i < iovcnt; ++i) {
      ssize_t n = writeData(iov[i].iov_base, iov[i].iov_len);
      total += n;
      if (static_cast<size_t>(n) != iov[i].iov_len) {
        break;
      }
    }
    return total;
  }
  msghdr msg{};
  msg.msg_iov = iov;
  msg.msg_iovlen = iovcnt;
  ssize_t ret;
  // sendmsg rather than writev, so that MSG_NOSIGNAL applies.
  while ((ret = sendmsg(sockfd_, &msg, MSG_NOSIGNAL)) == -1 && errno == EINTR) {
  }
  return plainSendResult(ret);
}

void SocketCore::readData(void* data, size_t& len) {
  clearWant();
  // The length is 0 until a result is known, so that a throw leaves nothing read.
  size_t room = len;
  len = 0;
  if (sshSession_) {
    len = sessionIoResult(*sshSession_, sshSession_->readData(data, room),
                          _("Failed to receive data, cause: %s"));
    return;
  }
  if (secure_ == TLS_NONE) {
    ssize_t ret;
    while ((ret = recv(sockfd_, data, room, 0)) == -1 && errno == EINTR) {
    }
    len = plainRecvResult(ret);
    return;
  }
  len = sessionIoResult(*tlsSession_, tlsSession_->readData(data, room),
                        _("Failed to receive data, cause: %s"));
}

void SocketCore::peekData(void* data, size_t& len) {
  clearWant();
  size_t room = len;
  len = 0;
  if (sshSession_ || secure_ != TLS_NONE) {
    throw DL_ABORT_EX("Cannot peek into a secure connection");
  }
  ssize_t ret;
  while ((ret = recv(sockfd_, data, room, MSG_PEEK)) == -1 && errno == EINTR) {
  }
  len = plainRecvResult(ret);
}

size_t SocketCore::getRecvBufferedLength() const {
  return tlsSession_ ? tlsSession_->getRecvBufferedLength() : 0;
}

ssize_t SocketCore::writeData(const void* data, size_t len, const std::string& host,
                              uint16_t port) {
  clearWant();
  addrinfo* raw = nullptr;
  int s = callGetaddrinfo(&raw, host.c_str(), util::uitos(port).c_str(), protocolFamily_, sockType_,
                          0, 0);
  if (s != 0) {
    throw DL_ABORT_EX(fmt(_("Failed to send data, cause: %s"), gai_strerror(s)));
  }
  AddrinfoPtr res(raw);
  ssize_t r = -1;
  int errNum = 0;
  for (addrinfo* rp = res.get(); rp; rp = rp->ai_next) {
    while ((r = sendto(sockfd_, data, len, MSG_NOSIGNAL, rp->ai_addr, rp->ai_addrlen)) == -1 &&
           errno == EINTR) {
    }
    if (r == static_cast<ssize_t>(len)) {
      return r;
    }
    if (r == -1) {
      errNum = errno;
      if (errNum == EAGAIN || errNum == EWOULDBLOCK) {
        wantWrite_ = true;
        return 0;
      }
    }
  }
  if (r >= 0) {
    return r;
  }
  throw DL_ABORT_EX(fmt(_("Failed to send data, cause: %s"), errnoText(errNum).c_str()));
}

ssize_t SocketCore::readDataFrom(void* data, size_t len, Endpoint& sender) {
  clearWant();
  sockaddr_union su;
  socklen_t sulen = sizeof(su);
  ssize_t r;
  while ((r = recvfrom(sockfd_, data, len, 0, &su.sa, &sulen)) == -1 && errno == EINTR) {
  }
  if (r >= 0) {
    sender = util::getNumericNameInfo(&su.sa, sulen);
  }
  return plainRecvResult(r);
}

std::string SocketCore::getSocketError() const {
  int error;
  socklen_t optlen = sizeof(error);
  if (getsockopt(sockfd_, SOL_SOCKET, SO_ERROR, &error, &optlen) == -1) {
    int errNum = errno;
    throw DL_ABORT_EX(fmt("Failed to get socket error: %s", errnoText(errNum).c_str()));
  }
  return error == 0 ? "" : errnoText(error);
}

bool SocketCore::tlsConnect(const std::string& hostname) {
  if (!clTlsContext_ && clTlsContextFactory_) {
    clTlsContext_ = std::exchange(clTlsContextFactory_, nullptr)();
  }
  return tlsHandshake(clTlsContext_.get(), hostname);
}

bool SocketCore::tlsAccept() {
  return tlsHandshake(svTlsContext_.get(), "");
}

bool SocketCore::tlsHandshake(TLSContext* tlsctx, const std::string& hostname) {
  clearWant();
  if (secure_ == TLS_CONNECTED) {
    return true;
  }
  if (secure_ == TLS_NONE) {
    QLOG_DEBUG("Creating TLS session");
    std::shared_ptr<TLSSession> session = TLSSession::make(tlsctx);
    if (session->init(sockfd_) != TLS_ERR_OK) {
      std::string error = session->getLastErrorString();
      throw DL_ABORT_EX(fmt(_("SSL initialization failed: %s"), error.c_str()));
    }
    tlsSession_ = std::move(session);
    if (tlsctx->getSide() == TLS_CLIENT && !util::isNumericHost(hostname) &&
        hostname.find('.') != std::string::npos &&
        tlsSession_->setSNIHostname(hostname) != TLS_ERR_OK) {
      throw DL_ABORT_EX(
          fmt(_("SSL initialization failed: %s"), tlsSession_->getLastErrorString().c_str()));
    }
    secure_ = TLS_HANDSHAKING;
    QLOG_DEBUG("TLS Handshaking");
  }
  TLSVersion version = TLS_PROTO_NONE;
  std::string handshakeError;
  int rv = tlsctx->getSide() == TLS_SERVER
               ? tlsSession_->tlsAccept(version)
               : tlsSession_->tlsConnect(hostname, version, handshakeError);
  if (rv == TLS_ERR_WOULDBLOCK) {
    raiseWantFromDirection(tlsSession_->checkDirection());
    return false;
  }
  if (rv != TLS_ERR_OK) {
    std::string error = handshakeError.empty() ? tlsSession_->getLastErrorString() : handshakeError;
    throw DL_ABORT_EX(fmt("SSL/TLS handshake failure: %s", error.c_str()));
  }
  secure_ = TLS_CONNECTED;
  if (LogFactory::getInstance()->levelEnabled(Logger::Q_DEBUG)) {
    logSecureConnection(hostname, version);
  }
  return true;
}

// Only a log line: a peer that is already gone does not undo the handshake.
void SocketCore::logSecureConnection(const std::string& hostname, TLSVersion version) const {
  std::string peerText;
  try {
    Endpoint peer = getPeerInfo();
    peerText = hostname.empty() ? fmt("%s:%u", peer.addr.c_str(), peer.port)
                                : fmt("%s (%s:%u)", hostname.c_str(), peer.addr.c_str(), peer.port);
  } catch (RecoverableException&) {
    peerText = hostname;
  }
  QLOG_DEBUG(fmt("Securely connected to %s with %s", peerText.c_str(), tlsVersionName(version)));
}

bool SocketCore::sshHandshake(const std::string& hashType, const std::string& digest) {
  clearWant();
  if (!sshSession_) {
    auto session = std::make_unique<SSHSession>();
    if (session->init(sockfd_) == SSH_ERR_ERROR) {
      throw DL_ABORT_EX("Could not create SSH session");
    }
    sshSession_ = std::move(session);
  }
  int rv = sshSession_->handshake();
  if (rv == SSH_ERR_WOULDBLOCK) {
    raiseWantFromDirection(sshSession_->checkDirection());
    return false;
  }
  if (rv == SSH_ERR_ERROR) {
    throw DL_ABORT_EX(fmt("SSH handshake failure: %s", sshSession_->getLastErrorString().c_str()));
  }
  if (!hashType.empty()) {
    std::string actual = sshSession_->hostkeyMessageDigest(hashType);
    if (actual.empty()) {
      throw DL_ABORT_EX(
          fmt("Empty host key fingerprint from SSH layer: perhaps hash type %s is not supported?",
              hashType.c_str()));
    }
    if (actual != digest) {
      throw DL_ABORT_EX(fmt("Unexpected SSH host key: expected %s, actual %s",
                            util::toHex(digest).c_str(), util::toHex(actual).c_str()));
    }
  }
  return true;
}

bool SocketCore::sshStepResult(int rv, const char* failureFormat, const std::string* path) {
  if (rv == SSH_ERR_WOULDBLOCK) {
    raiseWantFromDirection(sshSession_->checkDirection());
    return false;
  }
  if (rv == SSH_ERR_ERROR) {
    std::string error = sshSession_->getLastErrorString();
    if (path) {
      throw DL_ABORT_EX(fmt(failureFormat, path->c_str(), error.c_str()));
    }
    throw DL_ABORT_EX(fmt(failureFormat, error.c_str()));
  }
  return true;
}

bool SocketCore::sshAuthPassword(const std::string& user, const std::string& password) {
  assert(sshSession_);
  clearWant();
  return sshStepResult(sshSession_->authPassword(user, password), "SSH authentication failure: %s");
}

bool SocketCore::sshSFTPOpen(const std::string& path) {
  assert(sshSession_);
  clearWant();
  return sshStepResult(sshSession_->sftpOpen(path), "SSH opening SFTP path %s failed: %s", &path);
}

bool SocketCore::sshSFTPClose() {
  assert(sshSession_);
  clearWant();
  return sshStepResult(sshSession_->sftpClose(), "SSH closing SFTP failed: %s");
}

bool SocketCore::sshSFTPStat(int64_t& totalLength, time_t& mtime, const std::string& path) {
  assert(sshSession_);
  clearWant();
  return sshStepResult(sshSession_->sftpStat(totalLength, mtime), "SSH stat SFTP path %s filed: %s",
                       &path);
}

void SocketCore::sshSFTPSeek(int64_t pos) {
  assert(sshSession_);
  sshSession_->sftpSeek(pos);
}

bool SocketCore::sshGracefulShutdown() {
  assert(sshSession_);
  clearWant();
  return sshStepResult(sshSession_->gracefulShutdown(), "SSH graceful shutdown failed: %s");
}

void SocketCore::setClientTLSContext(const std::shared_ptr<TLSContext>& tlsContext) {
  clTlsContext_ = tlsContext;
  clTlsContextFactory_ = nullptr;
}

void SocketCore::setClientTLSContextFactory(std::function<std::shared_ptr<TLSContext>()> factory) {
  clTlsContext_ = nullptr;
  clTlsContextFactory_ = std::move(factory);
}

void SocketCore::setServerTLSContext(const std::shared_ptr<TLSContext>& tlsContext) {
  svTlsContext_ = tlsContext;
}

void SocketCore::setSocketRecvBufferSize(int size) {
  socketRecvBufferSize_ = size;
}

int SocketCore::getSocketRecvBufferSize() {
  return socketRecvBufferSize_;
}

std::vector<SockAddr> SocketCore::getInterfaceAddress(const std::string& iface, int family,
                                                      int aiFlags) {
  QLOG_DEBUG(fmt("Finding interface %s", iface.c_str()));
  std::vector<SockAddr> ifAddrs;
  ifaddrs* rawIfaddr = nullptr;
  if (getifaddrs(&rawIfaddr) == -1) {
    int errNum = errno;
    QLOG_INFO(fmt(_("Failed to find given interface %s, cause: %s"), iface.c_str(),
                  errnoText(errNum).c_str()));
  } else {
    IfaddrsPtr ifaddr(rawIfaddr);
    for (ifaddrs* ifa = ifaddr.get(); ifa; ifa = ifa->ifa_next) {
      if (!ifa->ifa_addr || iface != ifa->ifa_name) {
        continue;
      }
      int ifFamily = ifa->ifa_addr->sa_family;
      bool fits = (ifFamily == AF_INET || ifFamily == AF_INET6) &&
                  (family == AF_UNSPEC || family == ifFamily);
      if (!fits) {
        continue;
      }
      SockAddr a{};
      a.suLength = ifFamily == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
      memcpy(&a.su, ifa->ifa_addr, a.suLength);
      ifAddrs.push_back(a);
    }
  }
  if (!ifAddrs.empty()) {
    return ifAddrs;
  }
  addrinfo* raw = nullptr;
  int s = callGetaddrinfo(&raw, iface.c_str(), nullptr, family, SOCK_STREAM, aiFlags, 0);
  if (s != 0) {
    QLOG_INFO(
        fmt(_("Failed to find given interface %s, cause: %s"), iface.c_str(), gai_strerror(s)));
    return ifAddrs;
  }
  AddrinfoPtr res(raw);
  for (addrinfo* rp = res.get(); rp; rp = rp->ai_next) {
    // Only addresses of this host can be bound; a throw-away socket tells.
    SocketCore probe;
    try {
      probe.bind(rp->ai_addr, rp->ai_addrlen);
    } catch (RecoverableException&) {
      continue;
    }
    SockAddr a{};
    memcpy(&a.su, rp->ai_addr, rp->ai_addrlen);
    a.suLength = rp->ai_addrlen;
    ifAddrs.push_back(a);
  }
  return ifAddrs;
}

namespace {

void logBindAddresses(const std::vector<SockAddr>& addrs) {
  for (const auto& a : addrs) {
    char host[NI_MAXHOST];
    if (getnameinfo(&a.su.sa, a.suLength, host, sizeof(host), nullptr, 0, NI_NUMERICHOST) == 0) {
      QLOG_DEBUG(fmt("Sockets will bind to %s", host));
    }
  }
}

}  // namespace

void SocketCore::bindAddress(const std::string& iface) {
  std::vector<SockAddr> bindAddrs = getInterfaceAddress(iface, protocolFamily_);
  if (bindAddrs.empty()) {
    throw DL_ABORT_EX(
        fmt(_("Failed to find given interface %s, cause: %s"), iface.c_str(), "not available"));
  }
  bindAddrs_ = std::move(bindAddrs);
  logBindAddresses(bindAddrs_);
  bindAddrsList_.push_back(bindAddrs_);
  bindAddrsListIt_ = 0;
}

void SocketCore::bindAllAddress(const std::string& ifaces) {
  std::vector<std::string> ifaceList;
  util::split(ifaces.begin(), ifaces.end(), std::back_inserter(ifaceList), ',', true);
  if (ifaceList.empty()) {
    throw DL_ABORT_EX("List of interfaces is empty, one or more interfaces is required");
  }
  std::vector<std::vector<SockAddr>> bindAddrsList;
  for (const auto& iface : ifaceList) {
    std::vector<SockAddr> bindAddrs = getInterfaceAddress(iface, protocolFamily_);
    if (bindAddrs.empty()) {
      throw DL_ABORT_EX(
          fmt(_("Failed to find given interface %s, cause: %s"), iface.c_str(), "not available"));
    }
    logBindAddresses(bindAddrs);
    bindAddrsList.push_back(std::move(bindAddrs));
  }
  bindAddrsList_ = std::move(bindAddrsList);
  bindAddrsListIt_ = 0;
  bindAddrs_ = bindAddrsList_[0];
}

void SocketCore::resetBindAddress() {
  bindAddrs_.clear();
  bindAddrsList_.clear();
  bindAddrsListIt_ = 0;
}

}  // namespace quarn
