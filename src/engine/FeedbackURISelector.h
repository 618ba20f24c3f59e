#pragma once

#include <memory>

#include "storage/URISelector.h"

namespace quarn {

class ServerStatMan;

// Prefers fast servers that are not in use yet, by the server statistics,
// then the least used hosts.
class FeedbackURISelector : public URISelector {
 public:
  explicit FeedbackURISelector(std::shared_ptr<ServerStatMan> serverStatMan);

  std::string select(FileEntry* fileEntry, const UsedHosts& usedHosts) override;

  // A host not in use that is known to be fast (the fastest of the first ten
  // such), else one not in use that is unknown or slow; empty when none.
  std::string selectFaster(const std::deque<std::string>& uris, const UsedHosts& usedHosts);
  // The URI of the least used host, else the first URI.
  std::string selectRarer(const std::deque<std::string>& uris, const UsedHosts& usedHosts);

 private:
  std::shared_ptr<ServerStatMan> serverStatMan_;
};

}  // namespace quarn
