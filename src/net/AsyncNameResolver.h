#pragma once

#include <ares.h>
#include <sys/select.h>

#include <string>
#include <vector>

namespace quarn {

// One c-ares channel running one query for one host name and address family.
// Its sockets are watched by the owner's event poll, which calls process()
// when they are ready (and process(-1, -1) after each wait, so that c-ares
// can run its time-outs).
class AsyncNameResolver {
 public:
  enum STATUS { STATUS_READY, STATUS_QUERYING, STATUS_SUCCESS, STATUS_ERROR };

  AsyncNameResolver(int family, ares_addr_node* servers);
  ~AsyncNameResolver();
  AsyncNameResolver(const AsyncNameResolver&) = delete;
  AsyncNameResolver& operator=(const AsyncNameResolver&) = delete;

  void resolve(const std::string& name);

  // Highest descriptor plus 1.
  int getFds(fd_set* rfdsPtr, fd_set* wfdsPtr) const;
  void process(fd_set* rfdsPtr, fd_set* wfdsPtr);
  // Bit i: sockets[i] wants reading; bit i + 16: writing.
  int getsock(ares_socket_t* sockets) const;
  void process(ares_socket_t readfd, ares_socket_t writefd);

  bool operator==(const AsyncNameResolver& other) const { return this == &other; }

  STATUS getStatus() const { return status_; }
  int getFamily() const { return family_; }
  const std::string& getHostname() const { return hostname_; }
  const std::vector<std::string>& getResolvedAddresses() const { return resolvedAddresses_; }
  const std::string& getError() const { return error_; }

 private:
  static void callback(void* arg, int status, int timeouts, hostent* host);

  STATUS status_;
  int family_;
  ares_channel channel_;
  int initStatus_;
  std::vector<std::string> resolvedAddresses_;
  std::string error_;
  std::string hostname_;
};

// The server list of "async-dns-server": numeric IPv4 and IPv6 addresses
// separated by commas; anything else is skipped. Null when none is left.
// Release it with freeAsyncDNSServers.
ares_addr_node* parseAsyncDNSServers(const std::string& serversOpt);
void freeAsyncDNSServers(ares_addr_node* servers);

}  // namespace quarn
