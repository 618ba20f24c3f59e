#pragma once

#include <sys/time.h>

#include <ares.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/CUIDCounter.h"
#include "engine/Command.h"
#include "engine/EngineService.h"
#include "engine/EventPoll.h"
#include "engine/StatCalc.h"
#include "foundation/Timer.h"

namespace quarn {

class AsyncNameResolver;
class CheckIntegrityEntry;
class DNSCache;
class FileAllocationEntry;
class Option;
class Request;
class RequestGroupMan;
class SocketCore;
template <typename T>
class SequentialPicker;

namespace util {
namespace security {
class HMAC;
class HMACResult;
}  // namespace security
}  // namespace util

// The single event loop and the owner of the services its commands share.
class DownloadEngine {
 public:
  static constexpr std::chrono::milliseconds DEFAULT_REFRESH_INTERVAL{1000};

  // An idle connection kept for reuse.
  class SocketPoolEntry {
   public:
    SocketPoolEntry(const std::shared_ptr<SocketCore>& socket, const std::string& options,
                    std::chrono::seconds timeout);
    ~SocketPoolEntry();

    bool isTimeout() const;
    const std::shared_ptr<SocketCore>& getSocket() const { return socket_; }
    const std::string& getOptions() const { return options_; }

   private:
    std::shared_ptr<SocketCore> socket_;
    std::string options_;
    std::chrono::seconds timeout_;
    Timer registeredTime_;
  };

  explicit DownloadEngine(std::unique_ptr<EventPoll> eventPoll);
  ~DownloadEngine();
  DownloadEngine(const DownloadEngine&) = delete;
  DownloadEngine& operator=(const DownloadEngine&) = delete;

  // Turns until both queues are empty (returns 0); a one-shot run returns 1
  // after its turn unless a command asked not to wait.
  int run(bool oneshot = false);

  void addCommand(std::unique_ptr<Command> command);
  void addCommand(std::vector<std::unique_ptr<Command>> commands);
  void addRoutineCommand(std::unique_ptr<Command> command);

  void setNoWait(bool b) { noWait_ = b; }
  bool getNoWait() const { return noWait_; }
  void setRefreshInterval(std::chrono::milliseconds interval) { refreshInterval_ = interval; }
  std::chrono::milliseconds getRefreshInterval() const { return refreshInterval_; }

  void setStatCalc(std::unique_ptr<StatCalc> statCalc);

  // Takes ownership of the download manager.
  void setRequestGroupMan(std::unique_ptr<RequestGroupMan> rgman);
  RequestGroupMan* getRequestGroupMan() const { return requestGroupMan_.get(); }

  // Takes ownership of the credential factory.
  // What the protocols keep for the whole run, by the type they ask for.
  template <class T>
  T* getService() const {
    return services_.get<T>();
  }
  template <class T>
  void setService(std::unique_ptr<T> service) {
    services_.set<T>(std::move(service));
  }

  // The queues of file allocations and integrity checks; owned.
  void setFileAllocationMan(std::unique_ptr<SequentialPicker<FileAllocationEntry>> faman);
  SequentialPicker<FileAllocationEntry>* getFileAllocationMan() const {
    return fileAllocationMan_.get();
  }
  void setCheckIntegrityMan(std::unique_ptr<SequentialPicker<CheckIntegrityEntry>> ciman);
  SequentialPicker<CheckIntegrityEntry>* getCheckIntegrityMan() const {
    return checkIntegrityMan_.get();
  }

  void setOption(Option* op) { option_ = op; }
  Option* getOption() const { return option_; }

  // Every active download is asked to halt.
  void requestHalt();
  // Every active download is asked to halt at once.
  void requestForceHalt();
  bool isHaltRequested() const { return haltRequested_ >= 1; }
  bool isForceHaltRequested() const { return haltRequested_ >= 2; }

  cuid_t newCUID() { return cuidCounter_.newID(); }

  const std::string& getSessionId() const { return sessionId_; }

  EventPoll* getEventPoll() const { return eventPoll_.get(); }

  // Readiness registration of descriptors on behalf of commands.
  bool addSocketForReadCheck(int fd, Command* command);
  bool deleteSocketForReadCheck(int fd, Command* command);
  bool addSocketForWriteCheck(int fd, Command* command);
  bool deleteSocketForWriteCheck(int fd, Command* command);

  bool addNameResolverCheck(const std::shared_ptr<AsyncNameResolver>& resolver, Command* command);
  bool deleteNameResolverCheck(const std::shared_ptr<AsyncNameResolver>& resolver,
                               Command* command);

  // Socket pool. The key names the peer (numeric address and port, or the
  // target host and port behind a proxy), the proxy and the user. The
  // tlsHostname overloads are for connections carrying TLS: their key also
  // holds the host name the peer's certificate was verified for, so such a
  // connection is only ever reused for that same host name.
  void poolSocket(const std::string& ipaddr, uint16_t port, const std::string& username,
                  const std::string& proxyhost, uint16_t proxyport,
                  const std::shared_ptr<SocketCore>& sock, const std::string& options,
                  std::chrono::seconds timeout);
  void poolSocket(const std::string& ipaddr, uint16_t port, const std::string& proxyhost,
                  uint16_t proxyport, const std::shared_ptr<SocketCore>& sock,
                  std::chrono::seconds timeout);
  void poolTLSSocket(const std::string& tlsHostname, const std::string& ipaddr, uint16_t port,
                     const std::string& proxyhost, uint16_t proxyport,
                     const std::shared_ptr<SocketCore>& sock, std::chrono::seconds timeout);

  // Keyed by the request's host and port plus the proxy's with a proxy
  // request, else by the socket's peer address and port. An "https"
  // connection without a proxy is pooled under its TLS host name and comes
  // back only through popPooledTLSSocket with that name.
  void poolSocket(const std::shared_ptr<Request>& request,
                  const std::shared_ptr<Request>& proxyRequest,
                  const std::shared_ptr<SocketCore>& socket, std::chrono::seconds timeout);
  void poolSocket(const std::shared_ptr<Request>& request, const std::string& username,
                  const std::shared_ptr<Request>& proxyRequest,
                  const std::shared_ptr<SocketCore>& socket, const std::string& options,
                  std::chrono::seconds timeout);

  std::shared_ptr<SocketCore> popPooledSocket(const std::string& ipaddr, uint16_t port,
                                              const std::string& proxyhost, uint16_t proxyport);
  std::shared_ptr<SocketCore> popPooledSocket(std::string& options, const std::string& ipaddr,
                                              uint16_t port, const std::string& username,
                                              const std::string& proxyhost, uint16_t proxyport);
  std::shared_ptr<SocketCore> popPooledSocket(const std::vector<std::string>& ipaddrs,
                                              uint16_t port);
  std::shared_ptr<SocketCore> popPooledSocket(std::string& options,
                                              const std::vector<std::string>& ipaddrs,
                                              uint16_t port, const std::string& username);
  std::shared_ptr<SocketCore> popPooledTLSSocket(const std::string& tlsHostname,
                                                 const std::string& ipaddr, uint16_t port,
                                                 const std::string& proxyhost, uint16_t proxyport);
  std::shared_ptr<SocketCore> popPooledTLSSocket(const std::string& tlsHostname,
                                                 const std::vector<std::string>& ipaddrs,
                                                 uint16_t port);

  // Drops the entries whose time is up.
  void evictSocketPool();
  size_t getSocketPoolSize() const { return socketPool_.size(); }

  static std::string createSockPoolKey(const std::string& ipaddr, uint16_t port,
                                       const std::string& username, const std::string& proxyhost,
                                       uint16_t proxyport, const std::string& tlsHostname = "");

  // The DNS cache.
  const std::string& findCachedIPAddress(const std::string& hostname, uint16_t port) const;
  void findAllCachedIPAddresses(std::vector<std::string>& addrs, const std::string& hostname,
                                uint16_t port) const;
  void cacheIPAddress(const std::string& hostname, const std::string& ipaddr, uint16_t port);
  void markBadIPAddress(const std::string& hostname, const std::string& ipaddr, uint16_t port);
  void removeCachedIPAddress(const std::string& hostname, uint16_t port);

  // Takes ownership of the server list and frees the previous one.
  void setAsyncDNSServers(ares_addr_node* asyncDNSServers);
  ares_addr_node* getAsyncDNSServers() const { return asyncDNSServers_; }

  // Whether the control-server token matches "rpc-secret"; every token does
  // when no secret is defined. Both sides pass through an HMAC under a key
  // made for this process and are compared in constant time.
  bool validateToken(const std::string& token);

  size_t countCommands() const { return commands_.size(); }
  size_t countRoutineCommands() const { return routineCommands_.size(); }

 private:
  void waitData();
  void calculateStatistics();
  void afterEachIteration();
  void onEndOfRun();
  void poolSocket(const std::string& key, const SocketPoolEntry& entry);
  std::multimap<std::string, SocketPoolEntry>::iterator findSocketPoolEntry(const std::string& key);
  std::shared_ptr<SocketCore> popPooledSocketByKey(const std::string& key, std::string* options);

  std::string sessionId_;
  std::unique_ptr<EventPoll> eventPoll_;
  std::unique_ptr<StatCalc> statCalc_;
  int haltRequested_;
  std::multimap<std::string, SocketPoolEntry> socketPool_;
  bool noWait_;
  std::chrono::milliseconds refreshInterval_;
  Timer lastRefresh_;
  CUIDCounter cuidCounter_;
  ares_addr_node* asyncDNSServers_;
  std::unique_ptr<DNSCache> dnsCache_;
  EngineServices services_;
  std::unique_ptr<RequestGroupMan> requestGroupMan_;
  std::unique_ptr<SequentialPicker<FileAllocationEntry>> fileAllocationMan_;
  std::unique_ptr<SequentialPicker<CheckIntegrityEntry>> checkIntegrityMan_;
  Option* option_;
  std::deque<std::unique_ptr<Command>> routineCommands_;
  std::deque<std::unique_ptr<Command>> commands_;
  std::unique_ptr<util::security::HMAC> tokenHMAC_;
  std::unique_ptr<util::security::HMACResult> tokenExpected_;
};

}  // namespace quarn
