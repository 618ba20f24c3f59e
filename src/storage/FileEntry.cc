#include "storage/FileEntry.h"

#include <algorithm>

#include "foundation/File.h"
#include "foundation/Logger.h"
#include "foundation/OutputFile.h"
#include "foundation/fmt.h"
#include "foundation/uri_split.h"
#include "foundation/util_chars.h"
#include "foundation/wallclock.h"
#include "storage/PeerStat.h"
#include "storage/Request.h"
#include "storage/ServerStatMan.h"
#include "storage/uri_host.h"

namespace quarn {

FileEntry::FileEntry()
    : length_(0),
      offset_(0),
      maxConnectionPerServer_(1),
      requested_(false),
      uniqueProtocol_(false) {}

FileEntry::FileEntry(std::string path, int64_t length, int64_t offset,
                     const std::vector<std::string>& uris)
    : length_(length),
      offset_(offset),
      uris_(uris.begin(), uris.end()),
      path_(std::move(path)),
      lastFasterReplace_(Timer::zero()),
      maxConnectionPerServer_(1),
      requested_(true),
      uniqueProtocol_(false) {}

bool FileEntry::exists() const {
  return File(path_).exists();
}

std::string FileEntry::getBasename() const {
  return File(path_).getBasename();
}

std::string FileEntry::getDirname() const {
  return File(path_).getDirname();
}

std::vector<std::string> FileEntry::getUris() const {
  std::vector<std::string> uris(spentUris_.begin(), spentUris_.end());
  uris.insert(uris.end(), uris_.begin(), uris_.end());
  return uris;
}

namespace {

// The percent-encoded form of a URI, or empty when it does not split.
std::string checkedUri(const std::string& uri) {
  std::string encoded = util::percentEncodeMini(uri);
  return uri_split(nullptr, encoded.c_str()) == 0 ? encoded : std::string();
}

}  // namespace

bool FileEntry::addUri(const std::string& uri) {
  std::string encoded = checkedUri(uri);
  if (encoded.empty()) {
    return false;
  }
  uris_.push_back(std::move(encoded));
  return true;
}

size_t FileEntry::setUris(const std::vector<std::string>& uris) {
  uris_.clear();
  size_t added = 0;
  for (const auto& uri : uris) {
    added += addUri(uri) ? 1 : 0;
  }
  return added;
}

bool FileEntry::insertUri(const std::string& uri, size_t position) {
  std::string encoded = checkedUri(uri);
  if (encoded.empty()) {
    return false;
  }
  uris_.insert(uris_.begin() + std::min(position, uris_.size()), std::move(encoded));
  return true;
}

bool FileEntry::removeUri(const std::string& uri) {
  if (auto it = std::find(spentUris_.begin(), spentUris_.end(), uri); it != spentUris_.end()) {
    spentUris_.erase(it);
    // The connection working on the URI ends on its own; its request must not
    // be pooled again.
    auto usesUri = [&uri](const std::shared_ptr<Request>& req) {
      return !req->removalRequested() && req->getUri() == uri;
    };
    if (auto req = std::find_if(inFlightRequests_.begin(), inFlightRequests_.end(), usesUri);
        req != inFlightRequests_.end()) {
      (*req)->requestRemoval();
    } else if (auto pooled = std::find_if(requestPool_.begin(), requestPool_.end(), usesUri);
               pooled != requestPool_.end()) {
      (*pooled)->requestRemoval();
      requestPool_.erase(pooled);
    }
    return true;
  }
  if (auto it = std::find(uris_.begin(), uris_.end(), uri); it != uris_.end()) {
    uris_.erase(it);
    return true;
  }
  return false;
}

void FileEntry::removeURIWhoseHostnameIs(const std::string& hostname) {
  std::deque<std::string> kept;
  for (const auto& uri : uris_) {
    uri_split_result res;
    if (uri_split(&res, uri.c_str()) == 0 &&
        uri.compare(res.fields[USR_HOST].off, res.fields[USR_HOST].len, hostname) != 0) {
      kept.push_back(uri);
    }
  }
  QLOG_DEBUG(fmt("Removed %lu duplicate hostname URIs for path=%s",
                 static_cast<unsigned long>(uris_.size() - kept.size()), path_.c_str()));
  uris_.swap(kept);
}

void FileEntry::removeIdenticalURI(const std::string& uri) {
  uris_.erase(std::remove(uris_.begin(), uris_.end(), uri), uris_.end());
}

void FileEntry::addURIResult(std::string uri, error_code::Value result) {
  uriResults_.emplace_back(std::move(uri), result);
}

void FileEntry::extractURIResult(std::deque<URIResult>& out, error_code::Value result) {
  auto keep = std::stable_partition(uriResults_.begin(), uriResults_.end(),
                                    [result](const URIResult& r) { return r.result != result; });
  std::move(keep, uriResults_.end(), std::back_inserter(out));
  uriResults_.erase(keep, uriResults_.end());
}

// Requests of the connections

namespace {

// A switch to a faster request or server happens at most this often.
constexpr auto FASTER_SWITCH_INTERVAL = std::chrono::seconds(10);
// A server at or below this speed (bytes per second) is not worth a switch
// when the current connection's speed is unknown.
constexpr int32_t FAST_SERVER_SPEED = 20480;
constexpr size_t MAX_FASTER_CANDIDATES = 10;

template <typename Requests>
void appendHosts(std::vector<std::string>& hosts, const Requests& requests) {
  for (const auto& req : requests) {
    std::string host = uri_host::getHost(req->getUri());
    if (!host.empty()) {
      hosts.push_back(std::move(host));
    }
  }
}

}  // namespace

bool FileEntry::RequestFaster::operator()(const std::shared_ptr<Request>& a,
                                          const std::shared_ptr<Request>& b) const {
  if (!a->getPeerStat()) {
    return false;
  }
  if (!b->getPeerStat()) {
    return true;
  }
  int32_t speedA = a->getPeerStat()->getAvgDownloadSpeed();
  int32_t speedB = b->getPeerStat()->getAvgDownloadSpeed();
  return speedA > speedB || (speedA == speedB && a.get() < b.get());
}

std::shared_ptr<Request> FileEntry::getRequest(URISelector* selector, bool uriReuse,
                                               const UsedHosts& usedHosts,
                                               const std::string& referer,
                                               const std::string& method) {
  std::vector<std::string> inFlightHosts;
  appendHosts(inFlightHosts, inFlightRequests_);
  if (requestPool_.empty()) {
    return getRequestWithInFlightHosts(selector, uriReuse, usedHosts, referer, method,
                                       inFlightHosts);
  }
  std::shared_ptr<Request> req;
  auto awake = std::find_if(requestPool_.begin(), requestPool_.end(), [](const auto& pooled) {
    return pooled->getWakeTime() <= global::wallclock();
  });
  if (awake == requestPool_.end()) {
    // Everything pooled is still asleep: try a fresh URI, else wait for the
    // first pooled request.
    appendHosts(inFlightHosts, requestPool_);
    req =
        getRequestWithInFlightHosts(selector, uriReuse, usedHosts, referer, method, inFlightHosts);
    if (!req) {
      awake = requestPool_.begin();
    } else if (req->getUri() == (*requestPool_.begin())->getUri()) {
      // The new request would only duplicate the first pooled one: undo it,
      // so that no request without a connection counts as in flight.
      inFlightRequests_.erase(req);
      spentUris_.pop_back();
      uris_.push_front(req->getUri());
      awake = requestPool_.begin();
    }
  }
  if (awake != requestPool_.end()) {
    req = *awake;
    requestPool_.erase(awake);
    QLOG_DEBUG(fmt("Picked up from pool: %s", req->getUri().c_str()));
  }
  inFlightRequests_.insert(req);
  return req;
}

std::shared_ptr<Request> FileEntry::getRequestWithInFlightHosts(
    URISelector* selector, bool uriReuse, const UsedHosts& usedHosts, const std::string& referer,
    const std::string& method, const std::vector<std::string>& inFlightHosts) {
  std::shared_ptr<Request> req;
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<std::string> pending;
    std::vector<std::string> ignoreHosts;
    while (true) {
      std::string uri = selector->select(this, usedHosts);
      if (uri.empty()) {
        break;
      }
      auto candidate = std::make_shared<Request>();
      if (!candidate->setUri(uri)) {
        continue;
      }
      auto inUse = std::count(inFlightHosts.begin(), inFlightHosts.end(), candidate->getHost());
      if (inUse >= maxConnectionPerServer_) {
        pending.push_back(uri);
        ignoreHosts.push_back(candidate->getHost());
        continue;
      }
      candidate->setReferer(referer == "*" ? uri : util::percentEncodeMini(referer));
      candidate->setMethod(method);
      spentUris_.push_back(uri);
      inFlightRequests_.insert(candidate);
      req = std::move(candidate);
      break;
    }
    uris_.insert(uris_.begin(), pending.begin(), pending.end());
    if (pass == 0 && uriReuse && !req && uris_.size() == pending.size()) {
      reuseUri(ignoreHosts);
    } else {
      break;
    }
  }
  return req;
}

void FileEntry::reuseUri(const std::vector<std::string>& ignoreHosts) {
  bool debug = LogFactory::getInstance()->levelEnabled(Logger::Q_DEBUG);
  if (debug) {
    for (const auto& host : ignoreHosts) {
      QLOG_DEBUG(fmt("ignore host=%s", host.c_str()));
    }
  }
  std::vector<std::string> spent(spentUris_.begin(), spentUris_.end());
  std::sort(spent.begin(), spent.end());
  spent.erase(std::unique(spent.begin(), spent.end()), spent.end());
  std::vector<std::string> errorUris;
  for (const auto& result : uriResults_) {
    errorUris.push_back(result.uri);
  }
  std::sort(errorUris.begin(), errorUris.end());
  errorUris.erase(std::unique(errorUris.begin(), errorUris.end()), errorUris.end());
  if (debug) {
    for (const auto& uri : errorUris) {
      QLOG_DEBUG(fmt("error URI=%s", uri.c_str()));
    }
  }
  std::vector<std::string> candidates;
  std::set_difference(spent.begin(), spent.end(), errorUris.begin(), errorUris.end(),
                      std::back_inserter(candidates));
  std::vector<std::string> reusable;
  for (auto& uri : candidates) {
    std::string host, scheme;
    if (uri_host::getHostAndScheme(uri, host, scheme) &&
        std::find(ignoreHosts.begin(), ignoreHosts.end(), host) == ignoreHosts.end()) {
      reusable.push_back(std::move(uri));
    }
  }
  QLOG_DEBUG(fmt("Found %u reusable URIs", static_cast<unsigned int>(reusable.size())));
  if (debug) {
    for (const auto& uri : reusable) {
      QLOG_DEBUG(fmt("URI=%s", uri.c_str()));
    }
  }
  uris_.insert(uris_.end(), reusable.begin(), reusable.end());
}

bool FileEntry::recentlySwitched() const {
  return lastFasterReplace_.difference(global::wallclock()) < FASTER_SWITCH_INTERVAL;
}

std::shared_ptr<Request> FileEntry::findFasterRequest(const std::shared_ptr<Request>& base) {
  if (requestPool_.empty() || recentlySwitched()) {
    return nullptr;
  }
  const auto& fastest = *requestPool_.begin();
  const auto& fastStat = fastest->getPeerStat();
  if (!fastStat) {
    return nullptr;
  }
  if (const auto& baseStat = base->getPeerStat()) {
    if (baseStat->getDownloadStartTime().difference(global::wallclock()) < FASTER_SWITCH_INTERVAL ||
        0.8 * static_cast<double>(fastStat->getAvgDownloadSpeed()) <=
            static_cast<double>(baseStat->calculateDownloadSpeed())) {
      return nullptr;
    }
  }
  auto req = fastest;
  requestPool_.erase(requestPool_.begin());
  inFlightRequests_.insert(req);
  lastFasterReplace_ = global::wallclock();
  return req;
}

std::shared_ptr<Request> FileEntry::findFasterRequest(
    const std::shared_ptr<Request>& base, const UsedHosts& usedHosts,
    const std::shared_ptr<ServerStatMan>& serverStatMan) {
  if (recentlySwitched()) {
    return nullptr;
  }
  std::vector<std::string> inFlightHosts;
  appendHosts(inFlightHosts, inFlightRequests_);
  QLOG_DEBUG("Search faster server using ServerStat.");
  const auto& baseStat = base->getPeerStat();
  int32_t baseSpeed = baseStat ? baseStat->calculateDownloadSpeed() : 0;
  std::vector<std::pair<std::shared_ptr<ServerStat>, std::string>> fastCands;
  for (auto it = uris_.begin(); it != uris_.end() && fastCands.size() < MAX_FASTER_CANDIDATES;
       ++it) {
    std::string host, scheme;
    if (!uri_host::getHostAndScheme(*it, host, scheme)) {
      continue;
    }
    if (std::count(inFlightHosts.begin(), inFlightHosts.end(), host) >= maxConnectionPerServer_) {
      QLOG_DEBUG(fmt("%s has already used %d times, not considered.", it->c_str(),
                     maxConnectionPerServer_));
      continue;
    }
    if (std::any_of(usedHosts.begin(), usedHosts.end(),
                    [&host](const auto& used) { return used.second == host; })) {
      QLOG_DEBUG(fmt("%s is in usedHosts, not considered", it->c_str()));
      continue;
    }
    auto stat = serverStatMan->find(host, scheme);
    if (!stat || !stat->isOK()) {
      continue;
    }
    bool faster = baseStat ? stat->getDownloadSpeed() > baseSpeed * 1.5
                           : stat->getDownloadSpeed() > FAST_SERVER_SPEED;
    if (faster) {
      fastCands.emplace_back(stat, *it);
    }
  }
  if (fastCands.empty()) {
    QLOG_DEBUG("No faster server found.");
    return nullptr;
  }
  auto best =
      std::max_element(fastCands.begin(), fastCands.end(), [](const auto& a, const auto& b) {
        return a.first->getDownloadSpeed() < b.first->getDownloadSpeed();
      });
  const std::string uri = best->second;
  QLOG_DEBUG(fmt("Selected %s from fastCands", uri.c_str()));
  auto req = std::make_shared<Request>();
  req->setUri(uri);
  req->setReferer(base->getReferer());
  uris_.erase(std::find(uris_.begin(), uris_.end(), uri));
  spentUris_.push_back(uri);
  inFlightRequests_.insert(req);
  lastFasterReplace_ = global::wallclock();
  return req;
}

void FileEntry::poolRequest(const std::shared_ptr<Request>& request) {
  removeRequest(request);
  if (!request->removalRequested()) {
    storePool(request);
  }
}

void FileEntry::storePool(const std::shared_ptr<Request>& request) {
  if (const auto& stat = request->getPeerStat()) {
    // The pool is ordered by this average.
    stat->calculateAvgDownloadSpeed();
  }
  requestPool_.insert(request);
}

bool FileEntry::removeRequest(const std::shared_ptr<Request>& request) {
  return inFlightRequests_.erase(request) > 0;
}

void FileEntry::putBackRequest() {
  for (const auto& req : requestPool_) {
    uris_.push_front(req->getUri());
  }
  for (const auto& req : inFlightRequests_) {
    uris_.push_front(req->getUri());
  }
}

void FileEntry::releaseRuntimeResource() {
  requestPool_.clear();
  inFlightRequests_.clear();
}

bool FileEntry::emptyRequestUri() const {
  return uris_.empty() && inFlightRequests_.empty() && requestPool_.empty();
}

void writeFilePath(OutputFile& out, const std::shared_ptr<FileEntry>& entry, bool memory) {
  if (!entry->getPath().empty()) {
    if (memory) {
      out.write("[MEMORY]");
      out.write(File(entry->getPath()).getBasename().c_str());
    } else {
      out.write(entry->getPath().c_str());
    }
    return;
  }
  auto uris = entry->getUris();
  out.write(uris.empty() ? "n/a" : uris.front().c_str());
}

void writeFilePath(std::ostream& out, const std::shared_ptr<FileEntry>& entry, bool memory) {
  if (!entry->getPath().empty()) {
    if (memory) {
      out << "[MEMORY]" << File(entry->getPath()).getBasename();
    } else {
      out << entry->getPath();
    }
    return;
  }
  auto uris = entry->getUris();
  out << (uris.empty() ? "n/a" : uris.front());
}

}  // namespace quarn
