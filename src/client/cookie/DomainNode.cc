#include "client/cookie/DomainNode.h"

#include <algorithm>

namespace quarn {

DomainNode::DomainNode(std::string label, DomainNode* parent)
    : label_(std::move(label)),
      lastAccessTime_(0),
      lruAccessTime_(0),
      parent_(parent),
      inLru_(false) {}

DomainNode::~DomainNode() = default;

void DomainNode::findCookie(std::vector<const Cookie*>& out, const std::string& requestHost,
                            const std::string& requestPath, int64_t now, bool secure) {
  if (!cookies_) {
    return;
  }
  for (auto& c : *cookies_) {
    if (c->match(requestHost, requestPath, now, secure)) {
      c->setLastAccessTime(now);
      out.push_back(c.get());
    }
  }
}

void DomainNode::removeExpired(int64_t now) {
  cookies_->erase(
      std::remove_if(cookies_->begin(), cookies_->end(),
                     [now](const std::unique_ptr<Cookie>& c) { return c->isExpired(now); }),
      cookies_->end());
}

bool DomainNode::addCookie(std::unique_ptr<Cookie> cookie, int64_t now) {
  lastAccessTime_ = now;
  if (!cookies_) {
    if (cookie->isExpired(now)) {
      return false;
    }
    cookies_ = std::make_unique<CookieQueue>();
    cookies_->push_back(std::move(cookie));
    return true;
  }
  auto same = std::find_if(cookies_->begin(), cookies_->end(),
                           [&](const std::unique_ptr<Cookie>& c) { return *c == *cookie; });
  if (same != cookies_->end()) {
    if (cookie->isExpired(now)) {
      // A Set-Cookie with a past expiry deletes the cookie.
      cookies_->erase(same);
      return false;
    }
    cookie->setCreationTime((*same)->getCreationTime());
    *same = std::move(cookie);
    return true;
  }
  if (cookie->isExpired(now)) {
    return false;
  }
  if (cookies_->size() >= COOKIE_LIMIT) {
    removeExpired(now);
  }
  if (cookies_->size() < COOKIE_LIMIT) {
    cookies_->push_back(std::move(cookie));
    return true;
  }
  auto oldest =
      std::min_element(cookies_->begin(), cookies_->end(),
                       [](const std::unique_ptr<Cookie>& a, const std::unique_ptr<Cookie>& b) {
                         return a->getLastAccessTime() < b->getLastAccessTime();
                       });
  *oldest = std::move(cookie);
  return true;
}

bool DomainNode::contains(const Cookie& cookie) const {
  return cookies_ && std::any_of(cookies_->begin(), cookies_->end(),
                                 [&](const std::unique_ptr<Cookie>& c) { return *c == cookie; });
}

void DomainNode::clearCookie() {
  if (cookies_) {
    cookies_->clear();
  }
}

DomainNode* DomainNode::findNext(const std::string& label) const {
  auto i = next_.find(label);
  return i == next_.end() ? nullptr : i->second.get();
}

DomainNode* DomainNode::addNext(std::string label, std::unique_ptr<DomainNode> node) {
  auto& slot = next_[std::move(label)];
  slot = std::move(node);
  return slot.get();
}

void DomainNode::removeNode(DomainNode* node) {
  next_.erase(node->getLabel());
}

bool DomainNode::writeCookie(BufferedFile& fp) const {
  if (!cookies_) {
    return true;
  }
  for (const auto& cookie : *cookies_) {
    std::string line = cookie->toNsCookieFormat();
    line += '\n';
    if (fp.write(line.data(), line.size()) != line.size()) {
      return false;
    }
  }
  return true;
}

}  // namespace quarn
