#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "client/cookie/Cookie.h"
#include "client/cookie/DomainNode.h"
#include "engine/EngineService.h"

namespace quarn {

class DownloadEngine;

// The engine's cookie jar: a tree of domain labels from the right, with the
// nodes that hold cookies tracked by last use so that the jar stays bounded.
class CookieStorage : public EngineService {
 public:
  // Tracked nodes that start an eviction, and the share of them evicted.
  static constexpr size_t DOMAIN_EVICTION_TRIGGER = 2000;
  static constexpr double DOMAIN_EVICTION_RATE = 0.1;

  CookieStorage();
  ~CookieStorage();
  CookieStorage(const CookieStorage&) = delete;
  CookieStorage& operator=(const CookieStorage&) = delete;

  // True when the cookie was stored, new or replacing an equal one.
  bool store(std::unique_ptr<Cookie> cookie, int64_t now);
  bool parseAndStore(const std::string& setCookieString, const std::string& requestHost,
                     const std::string& defaultPath, int64_t now);

  // The cookies to send, deepest path first, then oldest first. The pointers
  // stay valid until the jar next changes.
  std::vector<const Cookie*> criteriaFind(const std::string& requestHost,
                                          const std::string& requestPath, int64_t now, bool secure);

  // Loads a Netscape text file or a browser SQLite database; never throws.
  bool load(const std::string& filename, int64_t now);
  // Writes the whole jar, least recently used node first, through a
  // temporary file renamed into place.
  bool saveNsFormat(const std::string& filename);

  bool contains(const Cookie& cookie) const;
  // The number of cookies on all tracked nodes.
  size_t size() const;
  size_t getLruTrackerSize() const { return lruTracker_.size(); }
  const DomainNode* getRootNode() const { return rootNode_.get(); }

  void evictNode(size_t delnum);
  void updateLru(DomainNode* node, int64_t now);

 private:
  std::unique_ptr<DomainNode> rootNode_;
  std::set<std::pair<int64_t, DomainNode*>> lruTracker_;
};

// The engine's cookie store, made empty on first use.
CookieStorage* cookieStorage(DownloadEngine* engine);

}  // namespace quarn
