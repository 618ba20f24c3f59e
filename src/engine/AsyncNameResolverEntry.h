#pragma once

#include <ares.h>

#include <memory>

#include "engine/Command.h"
#include "net/AsyncNameResolver.h"

namespace quarn {

// A resolver registered with a poll together with the command waiting for it,
// and the sockets of the resolver currently registered on its behalf.
template <typename EventPoll>
class AsyncNameResolverEntry {
 public:
  static constexpr int MAX_SOCKETS = 16;

  AsyncNameResolverEntry(const std::shared_ptr<AsyncNameResolver>& resolver, Command* command)
      : resolver_(resolver), command_(command), socketsSize_(0) {}

  bool operator==(const AsyncNameResolverEntry& other) const {
    return *resolver_ == *other.resolver_ && command_ == other.command_;
  }

  // Registers every socket c-ares wants watched, up to the first one that
  // wants nothing.
  void addSocketEvents(EventPoll* e) {
    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    int mask = resolver_->getsock(sockets);
    socketsSize_ = 0;
    for (int i = 0; i < MAX_SOCKETS && i < ARES_GETSOCK_MAXNUM; ++i) {
      int events = 0;
      if (ARES_GETSOCK_READABLE(mask, i)) {
        events |= EventPoll::IEV_READ;
      }
      if (ARES_GETSOCK_WRITABLE(mask, i)) {
        events |= EventPoll::IEV_WRITE;
      }
      if (events == 0) {
        break;
      }
      e->addEvents(sockets[i], command_, events, resolver_);
      sockets_[socketsSize_++] = sockets[i];
    }
  }

  void removeSocketEvents(EventPoll* e) {
    for (int i = 0; i < socketsSize_; ++i) {
      e->deleteEvents(sockets_[i], command_, resolver_);
    }
    socketsSize_ = 0;
  }

  // Lets c-ares run its time-outs.
  void processTimeout() { resolver_->process(ARES_SOCKET_BAD, ARES_SOCKET_BAD); }

 private:
  std::shared_ptr<AsyncNameResolver> resolver_;
  Command* command_;
  ares_socket_t sockets_[MAX_SOCKETS];
  int socketsSize_;
};

}  // namespace quarn
