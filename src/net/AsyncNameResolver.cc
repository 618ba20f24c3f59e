#include "net/AsyncNameResolver.h"

#include <netdb.h>

#include <cstring>
#include <iterator>

#include "foundation/LogMacros.h"
#include "foundation/util_string.h"
#include "net/net_address.h"

namespace quarn {

AsyncNameResolver::AsyncNameResolver(int family, ares_addr_node* servers)
    : status_(STATUS_READY), family_(family), channel_(nullptr) {
  initStatus_ = ares_init(&channel_);
  if (initStatus_ != ARES_SUCCESS) {
    channel_ = nullptr;
    return;
  }
  if (servers && ares_set_servers(channel_, servers) != ARES_SUCCESS) {
    QLOG_DEBUG("ares_set_servers failed");
  }
}

AsyncNameResolver::~AsyncNameResolver() {
  if (channel_) {
    ares_destroy(channel_);
  }
}

void AsyncNameResolver::resolve(const std::string& name) {
  hostname_ = name;
  status_ = STATUS_QUERYING;
  if (!channel_) {
    callback(this, initStatus_, 0, nullptr);
    return;
  }
  ares_gethostbyname(channel_, name.c_str(), family_, callback, this);
}

void AsyncNameResolver::callback(void* arg, int status, int /*timeouts*/, hostent* host) {
  auto resolver = static_cast<AsyncNameResolver*>(arg);
  if (status != ARES_SUCCESS) {
    resolver->error_ = ares_strerror(status);
    resolver->status_ = STATUS_ERROR;
    return;
  }
  for (char** ap = host->h_addr_list; *ap; ++ap) {
    char addrstring[NI_MAXHOST];
    if (inetNtop(host->h_addrtype, *ap, addrstring, sizeof(addrstring)) == 0) {
      resolver->resolvedAddresses_.push_back(addrstring);
    }
  }
  if (resolver->resolvedAddresses_.empty()) {
    resolver->error_ = "no address returned or address conversion failed";
    resolver->status_ = STATUS_ERROR;
  } else {
    resolver->status_ = STATUS_SUCCESS;
  }
}

int AsyncNameResolver::getFds(fd_set* rfdsPtr, fd_set* wfdsPtr) const {
  if (!channel_) {
    return 0;
  }
  return ares_fds(channel_, rfdsPtr, wfdsPtr);
}

void AsyncNameResolver::process(fd_set* rfdsPtr, fd_set* wfdsPtr) {
  if (!channel_) {
    return;
  }
  ares_process(channel_, rfdsPtr, wfdsPtr);
}

int AsyncNameResolver::getsock(ares_socket_t* sockets) const {
  if (!channel_) {
    return 0;
  }
  return ares_getsock(channel_, sockets, ARES_GETSOCK_MAXNUM);
}

void AsyncNameResolver::process(ares_socket_t readfd, ares_socket_t writefd) {
  if (!channel_) {
    return;
  }
  ares_process_fd(channel_, readfd, writefd);
}

ares_addr_node* parseAsyncDNSServers(const std::string& serversOpt) {
  std::vector<std::string> servers;
  util::split(serversOpt.begin(), serversOpt.end(), std::back_inserter(servers), ',', true);
  ares_addr_node root{};
  ares_addr_node* tail = &root;
  for (const auto& s : servers) {
    unsigned char binAddr[16];
    size_t len = net::getBinAddr(binAddr, s);
    if (len == 0) {
      continue;
    }
    auto node = new ares_addr_node{};
    if (len == 4) {
      node->family = AF_INET;
      memcpy(&node->addr.addr4, binAddr, 4);
    } else {
      node->family = AF_INET6;
      memcpy(&node->addr.addr6, binAddr, 16);
    }
    tail->next = node;
    tail = node;
  }
  return root.next;
}

void freeAsyncDNSServers(ares_addr_node* servers) {
  while (servers) {
    ares_addr_node* next = servers->next;
    delete servers;
    servers = next;
  }
}

}  // namespace quarn
