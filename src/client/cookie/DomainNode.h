#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "client/cookie/Cookie.h"
#include "foundation/BufferedFile.h"

namespace quarn {

// One domain label in the cookie jar's tree, holding the cookies of the
// domain or host that ends at this label.
class DomainNode {
 public:
  // More cookies than this on one node push out the least recently sent.
  static constexpr size_t COOKIE_LIMIT = 50;

  DomainNode(std::string label, DomainNode* parent);
  ~DomainNode();
  DomainNode(const DomainNode&) = delete;
  DomainNode& operator=(const DomainNode&) = delete;

  // Appends the matching cookies and stamps them as sent now.
  void findCookie(std::vector<const Cookie*>& out, const std::string& requestHost,
                  const std::string& requestPath, int64_t now, bool secure);
  bool addCookie(std::unique_ptr<Cookie> cookie, int64_t now);
  bool contains(const Cookie& cookie) const;
  size_t countCookie() const { return cookies_ ? cookies_->size() : 0; }
  bool empty() const { return countCookie() == 0; }
  void clearCookie();
  // Writes each cookie as a Netscape-format line; false on a short write.
  bool writeCookie(BufferedFile& fp) const;

  const std::string& getLabel() const { return label_; }
  DomainNode* getParent() const { return parent_; }
  bool hasNext() const { return !next_.empty(); }
  DomainNode* findNext(const std::string& label) const;
  DomainNode* addNext(std::string label, std::unique_ptr<DomainNode> node);
  void removeNode(DomainNode* node);

  int64_t getLastAccessTime() const { return lastAccessTime_; }
  void setLastAccessTime(int64_t t) { lastAccessTime_ = t; }
  int64_t getLruAccessTime() const { return lruAccessTime_; }
  void setLruAccessTime(int64_t t) { lruAccessTime_ = t; }
  bool getInLru() const { return inLru_; }
  void setInLru(bool f) { inLru_ = f; }

 private:
  using CookieQueue = std::deque<std::unique_ptr<Cookie>>;

  void removeExpired(int64_t now);

  std::string label_;
  int64_t lastAccessTime_;
  int64_t lruAccessTime_;
  DomainNode* parent_;
  bool inLru_;
  std::unique_ptr<CookieQueue> cookies_;
  std::unordered_map<std::string, std::unique_ptr<DomainNode>> next_;
};

}  // namespace quarn
