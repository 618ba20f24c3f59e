#include "engine/FeedbackURISelector.h"

#include <algorithm>

#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "storage/FileEntry.h"
#include "storage/ServerStatMan.h"
#include "storage/uri_host.h"

namespace quarn {

namespace {

// A server at or below this speed (bytes per second) counts as slow.
constexpr int32_t FAST_SPEED = 20480;
constexpr size_t MAX_FAST_CANDIDATES = 10;

bool isUsed(const UsedHosts& usedHosts, const std::string& host) {
  return std::any_of(usedHosts.begin(), usedHosts.end(),
                     [&host](const auto& used) { return used.second == host; });
}

}  // namespace

FeedbackURISelector::FeedbackURISelector(std::shared_ptr<ServerStatMan> serverStatMan)
    : serverStatMan_(std::move(serverStatMan)) {}

std::string FeedbackURISelector::select(FileEntry* fileEntry, const UsedHosts& usedHosts) {
  if (LogFactory::getInstance()->levelEnabled(Logger::Q_DEBUG)) {
    for (const auto& [count, host] : usedHosts) {
      QLOG_DEBUG(fmt("UsedHost=%lu, %s", static_cast<unsigned long>(count), host.c_str()));
    }
  }
  auto& uris = fileEntry->getRemainingUris();
  if (uris.empty()) {
    return "";
  }
  std::string selected = selectFaster(uris, usedHosts);
  if (selected.empty()) {
    QLOG_DEBUG("No URI returned from selectFaster()");
    selected = selectRarer(uris, usedHosts);
  }
  if (!selected.empty()) {
    uris.erase(std::find(uris.begin(), uris.end(), selected));
  }
  QLOG_DEBUG(fmt("FeedbackURISelector selected %s", selected.c_str()));
  return selected;
}

std::string FeedbackURISelector::selectFaster(const std::deque<std::string>& uris,
                                              const UsedHosts& usedHosts) {
  std::vector<std::pair<std::shared_ptr<ServerStat>, std::string>> fastCands;
  std::vector<std::string> normCands;
  for (auto it = uris.begin(); it != uris.end() && fastCands.size() < MAX_FAST_CANDIDATES; ++it) {
    std::string host, scheme;
    if (!uri_host::getHostAndScheme(*it, host, scheme)) {
      continue;
    }
    if (isUsed(usedHosts, host)) {
      QLOG_DEBUG(fmt("%s is in usedHosts, not considered", it->c_str()));
      continue;
    }
    auto stat = serverStatMan_->find(host, scheme);
    if (!stat) {
      normCands.push_back(*it);
    } else if (stat->isOK()) {
      if (stat->getDownloadSpeed() > FAST_SPEED) {
        fastCands.emplace_back(stat, *it);
      } else {
        normCands.push_back(*it);
      }
    }
  }
  if (!fastCands.empty()) {
    QLOG_DEBUG("Selected from fastCands");
    auto fastest =
        std::max_element(fastCands.begin(), fastCands.end(), [](const auto& a, const auto& b) {
          return a.first->getDownloadSpeed() < b.first->getDownloadSpeed();
        });
    return fastest->second;
  }
  if (!normCands.empty()) {
    QLOG_DEBUG("Selected from normCands");
    return normCands.front();
  }
  return "";
}

std::string FeedbackURISelector::selectRarer(const std::deque<std::string>& uris,
                                             const UsedHosts& usedHosts) {
  std::vector<std::pair<std::string, std::string>> cands;
  for (const auto& uri : uris) {
    std::string host, scheme;
    if (!uri_host::getHostAndScheme(uri, host, scheme)) {
      continue;
    }
    auto stat = serverStatMan_->find(host, scheme);
    if (stat && stat->isError()) {
      QLOG_DEBUG(fmt("Error not considered: %s", uri.c_str()));
      continue;
    }
    cands.emplace_back(std::move(host), uri);
  }
  for (const auto& used : usedHosts) {
    for (const auto& [host, uri] : cands) {
      if (host == used.second) {
        return uri;
      }
    }
  }
  return uris.empty() ? std::string() : uris.front();
}

}  // namespace quarn
