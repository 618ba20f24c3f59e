#include "engine/AdaptiveURISelector.h"

#include <algorithm>
#include <cmath>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/RequestGroup.h"
#include "foundation/Logger.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/ServerStatMan.h"
#include "storage/uri_host.h"

namespace quarn {

namespace {

// Time-outs at or above this are not raised for another round of retries.
constexpr int64_t MAX_RETRY_TIMEOUT = 30;
// A mirror measured this many times is not re-tested for staleness.
constexpr int32_t MAX_RETEST_COUNTER = 9;
constexpr int64_t SECONDS_PER_DAY = 86400;
// Without any known speed, a lowest-speed limit above this is lowered to it.
constexpr int32_t UNKNOWN_SPEED_LIMIT = 4096;

int32_t bestAverage(const ServerStat& stat) {
  return std::max(stat.getSingleConnectionAvgSpeed(), stat.getMultiConnectionAvgSpeed());
}

}  // namespace

AdaptiveURISelector::AdaptiveURISelector(std::shared_ptr<ServerStatMan> serverStatMan,
                                         RequestGroup* requestGroup)
    : serverStatMan_(std::move(serverStatMan)), requestGroup_(requestGroup) {
  resetCounters();
}

void AdaptiveURISelector::resetCounters() {
  nbConnections_ = 1;
  nbServerToEvaluate_ = requestGroup_->getOption()->getAsInt(PREF_SPLIT) - 1;
}

std::string AdaptiveURISelector::select(FileEntry* fileEntry, const UsedHosts& /*usedHosts*/) {
  QLOG_DEBUG(fmt("AdaptiveURISelector: called %d", requestGroup_->getNumConnection()));
  auto& uris = fileEntry->getRemainingUris();
  if (uris.empty() && requestGroup_->getNumConnection() < 2) {
    mayRetryWithIncreasedTimeout(fileEntry);
  }
  std::string selected = selectOne(uris);
  if (!selected.empty()) {
    uris.erase(std::find(uris.begin(), uris.end(), selected));
  }
  return selected;
}

void AdaptiveURISelector::mayRetryWithIncreasedTimeout(FileEntry* fileEntry) {
  if (requestGroup_->getTimeout() >= MAX_RETRY_TIMEOUT) {
    return;
  }
  requestGroup_->setTimeout(requestGroup_->getTimeout() * 2);
  std::deque<URIResult> timedOut;
  fileEntry->extractURIResult(timedOut, error_code::TIME_OUT);
  auto& uris = fileEntry->getRemainingUris();
  for (const auto& result : timedOut) {
    uris.push_back(result.uri);
  }
  if (LogFactory::getInstance()->levelEnabled(Logger::Q_DEBUG)) {
    for (const auto& uri : uris) {
      QLOG_DEBUG(fmt("AdaptiveURISelector: will retry server with increased timeout (%ld s): %s",
                     static_cast<long>(requestGroup_->getTimeout()), uri.c_str()));
    }
  }
}

std::string AdaptiveURISelector::selectOne(const std::deque<std::string>& uris) {
  if (uris.empty()) {
    return "";
  }
  const auto& dctx = requestGroup_->getDownloadContext();
  const size_t numPieces = dctx->getNumPieces();
  bool reservedContext =
      numPieces > 0 &&
      static_cast<int64_t>(
          std::min(numPieces, static_cast<size_t>(requestGroup_->getMaxConcurrentCommands()))) <
          nbConnections_;
  bool selectBest = numPieces == 0 || reservedContext;
  if (numPieces > 0) {
    ++nbConnections_;
  }
  if (getNbTestedServers(uris) < 3) {
    std::string notTested = getFirstNotTestedUri(uris);
    if (!notTested.empty()) {
      QLOG_DEBUG(
          fmt("AdaptiveURISelector: choosing the first non tested mirror: %s", notTested.c_str()));
      --nbServerToEvaluate_;
      return notTested;
    }
  }
  if (selectBest || nbConnections_ < 2 || nbServerToEvaluate_ < 1) {
    return getBestMirror(uris);
  }
  --nbServerToEvaluate_;
  std::string notTested = getFirstNotTestedUri(uris);
  if (!notTested.empty()) {
    QLOG_DEBUG(fmt("AdaptiveURISelector: choosing non tested mirror %s for connection #%d",
                   notTested.c_str(), nbConnections_));
    return notTested;
  }
  std::string toTest = getFirstToTestUri(uris);
  if (!toTest.empty()) {
    QLOG_DEBUG(
        fmt("AdaptiveURISelector: choosing mirror %s which has not been tested "
            "recently for connection #%d",
            toTest.c_str(), nbConnections_));
    return toTest;
  }
  return getBestMirror(uris);
}

std::string AdaptiveURISelector::getBestMirror(const std::deque<std::string>& uris) const {
  int32_t max = getMaxDownloadSpeed(uris);
  int32_t min = max - static_cast<int32_t>(max * 0.25);
  auto bests = getUrisBySpeed(uris, min);
  if (bests.size() < 2) {
    std::string uri = getMaxDownloadSpeedUri(uris);
    QLOG_DEBUG(
        fmt("AdaptiveURISelector: choosing the best mirror : %.2fKB/s %s (other mirrors "
            "are at least 25%% slower)",
            max / 1024.0, uri.c_str()));
    return uri;
  }
  std::string uri = selectRandomUri(bests);
  QLOG_DEBUG(
      fmt("AdaptiveURISelector: choosing randomly one of the best mirrors (range "
          "[%.2fKB/s, %.2fKB/s]): %s",
          min / 1024.0, max / 1024.0, uri.c_str()));
  return uri;
}

void AdaptiveURISelector::tuneDownloadCommand(const std::deque<std::string>& uris,
                                              LowestSpeedTunable* command) {
  adjustLowestSpeedLimit(uris, command);
}

void AdaptiveURISelector::adjustLowestSpeedLimit(const std::deque<std::string>& uris,
                                                 LowestSpeedTunable* command) const {
  int32_t limit = adjustedLowestSpeedLimit(uris);
  if (limit >= 0) {
    command->setLowestDownloadSpeedLimit(limit);
  }
}

int32_t AdaptiveURISelector::adjustedLowestSpeedLimit(const std::deque<std::string>& uris) const {
  int32_t lowest = requestGroup_->getOption()->getAsInt(PREF_LOWEST_SPEED_LIMIT);
  if (lowest < 1) {
    return -1;
  }
  int32_t max = getMaxDownloadSpeed(uris);
  if (max > 0) {
    if (lowest > max / 4) {
      QLOG_NOTICE(fmt(_("Lowering lowest-speed-limit since known max speed is too near "
                        "(new:%d was:%d max:%d)"),
                      max / 4, lowest, max));
      return max / 4;
    }
    return -1;
  }
  if (lowest > UNKNOWN_SPEED_LIMIT) {
    QLOG_NOTICE(fmt(_("Lowering lowest-speed-limit since we have no clue about available speed "
                      "(now:%d was:%d)"),
                    UNKNOWN_SPEED_LIMIT, lowest));
    return UNKNOWN_SPEED_LIMIT;
  }
  return -1;
}

std::shared_ptr<ServerStat> AdaptiveURISelector::getServerStats(const std::string& uri) const {
  std::string host, scheme;
  if (!uri_host::getHostAndScheme(uri, host, scheme)) {
    return nullptr;
  }
  return serverStatMan_->find(host, scheme);
}

size_t AdaptiveURISelector::getNbTestedServers(const std::deque<std::string>& uris) const {
  return std::count_if(uris.begin(), uris.end(),
                       [this](const std::string& uri) { return getServerStats(uri) != nullptr; });
}

std::string AdaptiveURISelector::getFirstNotTestedUri(const std::deque<std::string>& uris) const {
  for (const auto& uri : uris) {
    if (!getServerStats(uri)) {
      return uri;
    }
  }
  return "";
}

std::string AdaptiveURISelector::getFirstToTestUri(const std::deque<std::string>& uris) const {
  for (const auto& uri : uris) {
    auto stat = getServerStats(uri);
    if (!stat || stat->getCounter() >= MAX_RETEST_COUNTER) {
      continue;
    }
    int64_t dueDays = static_cast<int64_t>(std::pow(2.0, stat->getCounter()));
    if (stat->getLastUpdated().difference() > std::chrono::seconds(dueDays * SECONDS_PER_DAY)) {
      return uri;
    }
  }
  return "";
}

int32_t AdaptiveURISelector::getMaxDownloadSpeed(const std::deque<std::string>& uris) const {
  std::string uri = getMaxDownloadSpeedUri(uris);
  if (uri.empty()) {
    return 0;
  }
  return bestAverage(*getServerStats(uri));
}

std::string AdaptiveURISelector::getMaxDownloadSpeedUri(const std::deque<std::string>& uris) const {
  int32_t best = -1;
  std::string bestUri;
  for (const auto& uri : uris) {
    auto stat = getServerStats(uri);
    if (!stat) {
      continue;
    }
    if (stat->getSingleConnectionAvgSpeed() > best) {
      best = stat->getSingleConnectionAvgSpeed();
      bestUri = uri;
    }
    if (stat->getMultiConnectionAvgSpeed() > best) {
      best = stat->getMultiConnectionAvgSpeed();
      bestUri = uri;
    }
  }
  return bestUri;
}

std::deque<std::string> AdaptiveURISelector::getUrisBySpeed(const std::deque<std::string>& uris,
                                                            int32_t min) const {
  std::deque<std::string> bests;
  for (const auto& uri : uris) {
    auto stat = getServerStats(uri);
    if (stat &&
        (stat->getSingleConnectionAvgSpeed() > min || stat->getMultiConnectionAvgSpeed() > min)) {
      bests.push_back(uri);
    }
  }
  return bests;
}

std::string AdaptiveURISelector::selectRandomUri(const std::deque<std::string>& uris) const {
  auto index = SimpleRandomizer::getInstance()->getRandomNumber(uris.size());
  return uris[index];
}

}  // namespace quarn
