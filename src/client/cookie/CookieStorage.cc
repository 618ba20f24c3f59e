#include "client/cookie/CookieStorage.h"

#include <algorithm>

#include "client/cookie/NsCookieParser.h"
#include "client/cookie/Sqlite3CookieParser.h"
#include "client/cookie/cookie_helper.h"
#include "engine/DownloadEngine.h"
#include "foundation/BufferedFile.h"
#include "foundation/File.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/util_address.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

// The labels of a domain from the right; a numeric address is one label.
std::vector<std::string> reverseLabels(const std::string& domain) {
  std::vector<std::string> labels;
  if (util::isNumericHost(domain)) {
    labels.push_back(domain);
  } else {
    util::split(domain.begin(), domain.end(), std::back_inserter(labels), '.');
    std::reverse(labels.begin(), labels.end());
  }
  return labels;
}

// The number of non-empty segments of a path: "/" has 0, "/a/" 1, "/a/b" 2.
size_t pathDepth(const std::string& path) {
  size_t depth = 0;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    if (path[i] == '/' && path[i + 1] != '/') {
      ++depth;
    }
  }
  return depth;
}

}  // namespace

CookieStorage::CookieStorage() : rootNode_(std::make_unique<DomainNode>("", nullptr)) {}

CookieStorage::~CookieStorage() = default;

void CookieStorage::updateLru(DomainNode* node, int64_t now) {
  if (node->getInLru()) {
    lruTracker_.erase({node->getLruAccessTime(), node});
  } else {
    node->setInLru(true);
  }
  node->setLruAccessTime(now);
  lruTracker_.insert({now, node});
}

void CookieStorage::evictNode(size_t delnum) {
  for (; delnum > 0 && !lruTracker_.empty(); --delnum) {
    DomainNode* node = lruTracker_.begin()->second;
    lruTracker_.erase(lruTracker_.begin());
    node->setInLru(false);
    node->clearCookie();
    while (node->empty() && !node->hasNext()) {
      DomainNode* parent = node->getParent();
      if (!parent) {
        break;
      }
      parent->removeNode(node);
      if (!parent->empty() || parent->hasNext() || !parent->getParent()) {
        break;
      }
      node = parent;
      if (node->getInLru()) {
        lruTracker_.erase({node->getLruAccessTime(), node});
        node->setInLru(false);
      }
    }
  }
}

bool CookieStorage::store(std::unique_ptr<Cookie> cookie, int64_t now) {
  if (lruTracker_.size() >= DOMAIN_EVICTION_TRIGGER) {
    evictNode(static_cast<size_t>(lruTracker_.size() * DOMAIN_EVICTION_RATE));
  }
  DomainNode* node = rootNode_.get();
  for (auto& label : reverseLabels(cookie->getDomain())) {
    DomainNode* next = node->findNext(label);
    if (!next) {
      auto child = std::make_unique<DomainNode>(label, node);
      next = node->addNext(std::move(label), std::move(child));
    }
    node = next;
  }
  if (!node->addCookie(std::move(cookie), now)) {
    return false;
  }
  updateLru(node, now);
  return true;
}

bool CookieStorage::parseAndStore(const std::string& setCookieString,
                                  const std::string& requestHost, const std::string& defaultPath,
                                  int64_t now) {
  auto cookie = cookie::parse(setCookieString, requestHost, defaultPath, now);
  return cookie && store(std::move(cookie), now);
}

std::vector<const Cookie*> CookieStorage::criteriaFind(const std::string& requestHost,
                                                       const std::string& requestPath, int64_t now,
                                                       bool secure) {
  std::vector<const Cookie*> found;
  if (requestPath.empty()) {
    return found;
  }
  DomainNode* node = rootNode_.get();
  for (const auto& label : reverseLabels(requestHost)) {
    node = node->findNext(label);
    if (!node) {
      break;
    }
    node->setLastAccessTime(now);
    if (node->getInLru()) {
      updateLru(node, now);
    }
    node->findCookie(found, requestHost, requestPath, now, secure);
  }
  std::vector<std::pair<size_t, const Cookie*>> byDepth;
  byDepth.reserve(found.size());
  for (const Cookie* c : found) {
    byDepth.emplace_back(pathDepth(c->getPath()), c);
  }
  std::stable_sort(byDepth.begin(), byDepth.end(), [](const auto& a, const auto& b) {
    return a.first > b.first ||
           (a.first == b.first && a.second->getCreationTime() < b.second->getCreationTime());
  });
  for (size_t i = 0; i < byDepth.size(); ++i) {
    found[i] = byDepth[i].second;
  }
  return found;
}

bool CookieStorage::contains(const Cookie& cookie) const {
  const DomainNode* node = rootNode_.get();
  for (const auto& label : reverseLabels(cookie.getDomain())) {
    node = node->findNext(label);
    if (!node) {
      return false;
    }
  }
  return node->contains(cookie);
}

size_t CookieStorage::size() const {
  size_t n = 0;
  for (const auto& entry : lruTracker_) {
    n += entry.second->countCookie();
  }
  return n;
}

namespace {

bool hasSqliteHeader(const std::string& filename) {
  char header[16];
  BufferedFile fp(filename.c_str(), "rb");
  size_t r = fp.read(header, sizeof(header));
  fp.close();
  return r == sizeof(header) && std::equal(header, header + sizeof(header), "SQLite format 3");
}

std::vector<std::unique_ptr<Cookie>> readCookieFile(const std::string& filename, int64_t now) {
  if (!hasSqliteHeader(filename)) {
    return NsCookieParser().parse(filename, now);
  }
  try {
    return Sqlite3MozCookieParser(filename).parse();
  } catch (const RecoverableException& e) {
    QLOG_INFO_EX("Exception caught", e);
    QLOG_INFO(
        "This does not look like Firefox3 cookie file. Retrying, assuming it is Chromium cookie "
        "file.");
    return Sqlite3ChromiumCookieParser(filename).parse();
  }
}

}  // namespace

bool CookieStorage::load(const std::string& filename, int64_t now) {
  {
    BufferedFile fp(filename.c_str(), "rb");
    if (!fp) {
      QLOG_ERROR(fmt("Failed to open cookie file %s", filename.c_str()));
      return false;
    }
  }
  try {
    for (auto& cookie : readCookieFile(filename, now)) {
      store(std::move(cookie), now);
    }
    return true;
  } catch (const RecoverableException&) {
    QLOG_ERROR(fmt("Failed to load cookies from %s", filename.c_str()));
    return false;
  }
}

bool CookieStorage::saveNsFormat(const std::string& filename) {
  std::string tempfilename = filename + "__temp";
  {
    BufferedFile fp(tempfilename.c_str(), "wb");
    if (!fp) {
      QLOG_ERROR(fmt("Cannot create cookie file %s", filename.c_str()));
      return false;
    }
    for (const auto& [time, node] : lruTracker_) {
      if (!node->writeCookie(fp)) {
        QLOG_ERROR(fmt("Failed to save cookies to %s", filename.c_str()));
        return false;
      }
    }
    if (fp.close() == EOF) {
      QLOG_ERROR(fmt("Failed to save cookies to %s", filename.c_str()));
      return false;
    }
  }
  if (!File(tempfilename).renameTo(filename)) {
    QLOG_ERROR(fmt("Could not rename file %s as %s", tempfilename.c_str(), filename.c_str()));
    return false;
  }
  return true;
}

CookieStorage* cookieStorage(DownloadEngine* engine) {
  if (auto* storage = engine->getService<CookieStorage>()) {
    return storage;
  }
  engine->setService(std::make_unique<CookieStorage>());
  return engine->getService<CookieStorage>();
}

}  // namespace quarn
