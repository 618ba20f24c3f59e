#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace quarn {

class FileEntry;

// A connection whose lowest acceptable speed a selector may tune.
class LowestSpeedTunable {
 public:
  virtual ~LowestSpeedTunable() = default;
  virtual void setLowestDownloadSpeedLimit(int32_t limit) = 0;
};

// Hosts that running downloads already use, as (count, host name), least
// used first.
using UsedHosts = std::vector<std::pair<size_t, std::string>>;

// Picks the next URI of a file among its remaining URIs.
class URISelector {
 public:
  virtual ~URISelector() = default;

  // Takes the chosen URI out of the file's remaining URIs; empty when there is
  // none to offer.
  virtual std::string select(FileEntry* fileEntry, const UsedHosts& usedHosts) = 0;

  virtual void tuneDownloadCommand(const std::deque<std::string>& uris,
                                   LowestSpeedTunable* command) {
    (void)uris;
    (void)command;
  }

  // Called once the download has finished.
  virtual void resetCounters() {}
};

}  // namespace quarn
