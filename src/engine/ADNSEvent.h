#pragma once

#include <ares.h>

#include <memory>

#include "engine/Command.h"
#include "engine/Event.h"
#include "net/AsyncNameResolver.h"

namespace quarn {

// One socket of an asynchronous name resolver, registered on behalf of the
// command that waits for the look-up. Readiness is handed to c-ares, and the
// command is woken to look at the resolver's state.
template <typename SocketEntry, typename EventPoll>
class ADNSEvent : public Event<SocketEntry> {
 public:
  ADNSEvent(const std::shared_ptr<AsyncNameResolver>& resolver, Command* command, int socket,
            int events)
      : resolver_(resolver), command_(command), socket_(socket), events_(events) {}

  void processEvents(int events) override {
    constexpr int readMask = EventPoll::IEV_READ | EventPoll::IEV_ERROR | EventPoll::IEV_HUP;
    constexpr int writeMask = EventPoll::IEV_WRITE | EventPoll::IEV_ERROR | EventPoll::IEV_HUP;
    ares_socket_t readfd = (events & readMask) ? socket_ : ARES_SOCKET_BAD;
    ares_socket_t writefd = (events & writeMask) ? socket_ : ARES_SOCKET_BAD;
    resolver_->process(readfd, writefd);
    command_->setStatusActive();
  }

  int getEvents() const override { return events_; }

  void addSelf(SocketEntry* socketEntry) const override { socketEntry->addADNSEvent(*this); }
  void removeSelf(SocketEntry* socketEntry) const override { socketEntry->removeADNSEvent(*this); }

  // Two events are the same when they belong to the same resolver.
  bool operator==(const ADNSEvent& other) const { return *resolver_ == *other.resolver_; }

 private:
  std::shared_ptr<AsyncNameResolver> resolver_;
  Command* command_;
  int socket_;
  int events_;
};

}  // namespace quarn
