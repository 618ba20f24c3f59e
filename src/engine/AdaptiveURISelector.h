#pragma once

#include <memory>

#include "storage/URISelector.h"

namespace quarn {

class RequestGroup;
class ServerStat;
class ServerStatMan;

// Spends the first connections on mirrors never measured, re-tests mirrors
// whose measurement is old, and otherwise takes the fastest mirror or a
// random one among those close to it.
class AdaptiveURISelector : public URISelector {
 public:
  AdaptiveURISelector(std::shared_ptr<ServerStatMan> serverStatMan, RequestGroup* requestGroup);

  std::string select(FileEntry* fileEntry, const UsedHosts& usedHosts) override;
  void tuneDownloadCommand(const std::deque<std::string>& uris,
                           LowestSpeedTunable* command) override;
  void resetCounters() override;

  // Lowers the command's lowest-speed limit when the configured one would cut
  // off the best known mirror; the option keeps its value.
  void adjustLowestSpeedLimit(const std::deque<std::string>& uris,
                              LowestSpeedTunable* command) const;
  // The limit adjustLowestSpeedLimit gives; -1 for no change.
  int32_t adjustedLowestSpeedLimit(const std::deque<std::string>& uris) const;

  std::shared_ptr<ServerStat> getServerStats(const std::string& uri) const;
  size_t getNbTestedServers(const std::deque<std::string>& uris) const;
  std::string getFirstNotTestedUri(const std::deque<std::string>& uris) const;
  std::string getFirstToTestUri(const std::deque<std::string>& uris) const;
  std::string getBestMirror(const std::deque<std::string>& uris) const;
  int32_t getMaxDownloadSpeed(const std::deque<std::string>& uris) const;
  std::string getMaxDownloadSpeedUri(const std::deque<std::string>& uris) const;
  std::deque<std::string> getUrisBySpeed(const std::deque<std::string>& uris, int32_t min) const;
  std::string selectRandomUri(const std::deque<std::string>& uris) const;

 private:
  void mayRetryWithIncreasedTimeout(FileEntry* fileEntry);
  std::string selectOne(const std::deque<std::string>& uris);

  std::shared_ptr<ServerStatMan> serverStatMan_;
  RequestGroup* requestGroup_;
  int32_t nbServerToEvaluate_;
  int32_t nbConnections_;
};

}  // namespace quarn
