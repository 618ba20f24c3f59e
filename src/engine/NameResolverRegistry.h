#pragma once

#include <map>
#include <memory>
#include <utility>

#include "engine/AsyncNameResolverEntry.h"

namespace quarn {

class AsyncNameResolver;
class Command;

// The resolvers an event poll watches for their commands, each with the
// sockets it currently has registered with that poll.
template <typename EventPoll>
class NameResolverRegistry {
 public:
  // False when the resolver is already registered for the command.
  bool add(const std::shared_ptr<AsyncNameResolver>& resolver, Command* command, EventPoll* poll) {
    auto key = std::make_pair(resolver.get(), command);
    if (entries_.count(key)) {
      return false;
    }
    auto entry = std::make_unique<AsyncNameResolverEntry<EventPoll>>(resolver, command);
    entry->addSocketEvents(poll);
    entries_.emplace(key, std::move(entry));
    return true;
  }

  // False when the resolver is not registered for the command.
  bool remove(const std::shared_ptr<AsyncNameResolver>& resolver, Command* command,
              EventPoll* poll) {
    auto i = entries_.find(std::make_pair(resolver.get(), command));
    if (i == entries_.end()) {
      return false;
    }
    i->second->removeSocketEvents(poll);
    entries_.erase(i);
    return true;
  }

  // c-ares runs its time-outs, and the resolvers' sockets may have changed.
  void process(EventPoll* poll) {
    for (auto& [key, entry] : entries_) {
      entry->processTimeout();
      entry->removeSocketEvents(poll);
      entry->addSocketEvents(poll);
    }
  }

 private:
  std::map<std::pair<AsyncNameResolver*, Command*>,
           std::unique_ptr<AsyncNameResolverEntry<EventPoll>>>
      entries_;
};

}  // namespace quarn
