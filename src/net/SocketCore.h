#pragma once

#include <netdb.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/Endpoint.h"
#include "net/SockAddr.h"
#include "net/TLSContext.h"

namespace quarn {

class TLSSession;
class SSHSession;

// The one socket object of every protocol: outgoing and accepted TCP
// connections, listening sockets and UDP sockets, with optional TLS and SSH
// sessions on top. Non-blocking once connected, listening or accepted: an
// operation that cannot go on now returns 0 or false and raises exactly one of
// wantRead() and wantWrite(); failures are thrown.
class SocketCore {
 public:
  explicit SocketCore(int sockType = SOCK_STREAM);
  SocketCore(int sockfd, int sockType);
  ~SocketCore();
  SocketCore(const SocketCore&) = delete;
  SocketCore& operator=(const SocketCore&) = delete;

  int getSockfd() const { return sockfd_; }
  bool isOpen() const { return sockfd_ != -1; }

  void create(int family, int protocol = 0);
  // Whether the next bind may share its port (SO_REUSEADDR, the default). A
  // UDP socket that must own its port turns it off: on UDP the option lets a
  // second process bind the same port and take its datagrams.
  void setReuseAddr(bool reuseAddr) { reuseAddr_ = reuseAddr; }
  void bind(const char* host, uint16_t port, int family, int flags = AI_PASSIVE);
  void bind(uint16_t port, int flags = AI_PASSIVE);
  void bindWithFamily(uint16_t port, int family, int flags = AI_PASSIVE);
  void bind(const sockaddr* addr, socklen_t addrlen);
  void beginListen();
  std::shared_ptr<SocketCore> acceptConnection() const;
  void establishConnection(const std::string& host, uint16_t port, bool tcpNodelay = true);
  int closeConnection();
  // Sends our end-of-stream after what is queued, keeping the socket open
  // for reading.
  void shutdownWrite();

  void getAddrInfo(sockaddr_union& sockaddr, socklen_t& len) const;
  Endpoint getAddrInfo() const;
  int getAddressFamily() const;
  Endpoint getPeerInfo() const;

  void setSockOpt(int level, int optname, void* optval, socklen_t optlen);
  void setTcpNodelay(bool f);
  void setMulticastInterface(const std::string& localAddr);
  void setMulticastTtl(unsigned char ttl);
  void setMulticastLoop(unsigned char loop);
  void joinMulticastGroup(const std::string& multicastAddr, uint16_t multicastPort,
                          const std::string& localAddr);
  void applyIpDscp();
  void setNonBlockingMode();
  void setBlockingMode();
  bool isBlocking() const { return blocking_; }
  bool isReadable(time_t timeout);
  bool isWritable(time_t timeout);

  ssize_t writeData(const void* data, size_t len);
  ssize_t writeVector(iovec* iov, size_t iovcnt);
  void readData(void* data, size_t& len);
  // Like readData on a plain connection, but the bytes stay queued for the
  // next read. Secure sessions cannot peek: their bytes are decrypted.
  void peekData(void* data, size_t& len);
  size_t getRecvBufferedLength() const;
  ssize_t writeData(const void* data, size_t len, const std::string& host, uint16_t port);
  ssize_t readDataFrom(void* data, size_t len, Endpoint& sender);
  std::string getSocketError() const;

  bool wantRead() const { return wantRead_; }
  bool wantWrite() const { return wantWrite_; }

  bool tlsConnect(const std::string& hostname);
  bool tlsAccept();

  bool sshHandshake(const std::string& hashType, const std::string& digest);
  bool sshAuthPassword(const std::string& user, const std::string& password);
  bool sshSFTPOpen(const std::string& path);
  bool sshSFTPClose();
  bool sshSFTPStat(int64_t& totalLength, time_t& mtime, const std::string& path);
  void sshSFTPSeek(int64_t pos);
  bool sshGracefulShutdown();

  // Setting a context (or null) drops any pending factory.
  static void setClientTLSContext(const std::shared_ptr<TLSContext>& tlsContext);
  // The client context is made by `factory` when the first TLS connection needs
  // it: loading the trusted authorities reads and parses a large bundle, which
  // a run without TLS should not pay for. What the factory logs (a bad
  // certificate file, say) is therefore logged at that first use.
  static void setClientTLSContextFactory(std::function<std::shared_ptr<TLSContext>()> factory);
  static void setServerTLSContext(const std::shared_ptr<TLSContext>& tlsContext);
  static void setSocketRecvBufferSize(int size);
  static int getSocketRecvBufferSize();

  static std::vector<SockAddr> getInterfaceAddress(const std::string& iface, int family = AF_UNSPEC,
                                                   int aiFlags = 0);
  static void bindAddress(const std::string& iface);
  static void bindAllAddress(const std::string& ifaces);
  // Drops the configured bind addresses (start-up state).
  static void resetBindAddress();

  static int protocolFamily_;
  static int ipDscp_;

 private:
  enum TlsState { TLS_NONE, TLS_HANDSHAKING, TLS_CONNECTED };

  bool tlsHandshake(TLSContext* tlsctx, const std::string& hostname);
  void logSecureConnection(const std::string& hostname, TLSVersion version) const;
  // Maps an SSH step's result: true when done, false with a want flag raised.
  bool sshStepResult(int rv, const char* failureFormat, const std::string* path = nullptr);
  void raiseWantFromDirection(int direction);
  // Map the result of a plain send or receive: would-block raises the want
  // flag and counts 0, an error throws DlRetryEx.
  ssize_t plainSendResult(ssize_t ret);
  ssize_t plainRecvResult(ssize_t ret);
  // The same for a TLS or SSH session's read or write.
  template <typename Session>
  ssize_t sessionIoResult(Session& session, ssize_t ret, const char* failureFormat);
  void clearWant();

  int sockType_;
  int sockfd_;
  bool reuseAddr_ = true;
  bool blocking_;
  TlsState secure_;
  bool wantRead_;
  bool wantWrite_;
  std::shared_ptr<TLSSession> tlsSession_;
  std::unique_ptr<SSHSession> sshSession_;

  static int socketRecvBufferSize_;
  static std::vector<SockAddr> bindAddrs_;
  static std::vector<std::vector<SockAddr>> bindAddrsList_;
  static size_t bindAddrsListIt_;
  static std::shared_ptr<TLSContext> clTlsContext_;
  static std::function<std::shared_ptr<TLSContext>()> clTlsContextFactory_;
  static std::shared_ptr<TLSContext> svTlsContext_;
};

}  // namespace quarn
