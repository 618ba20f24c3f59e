#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// One HTTP cookie as the client keeps it. Times are seconds since the epoch.
class Cookie {
 public:
  Cookie();
  Cookie(std::string name, std::string value, int64_t expiryTime, bool persistent,
         std::string domain, bool hostOnly, std::string path, bool secure, bool httpOnly,
         int64_t creationTime);

  // "name=value", as sent in a Cookie field.
  std::string toString() const;
  bool match(const std::string& requestHost, const std::string& requestPath, int64_t date,
             bool secure) const;
  bool isExpired(int64_t base) const;
  // One line of a Netscape cookie file, without line end.
  std::string toNsCookieFormat() const;

  // The same cookie: equal domain, path and name.
  bool operator==(const Cookie& other) const;
  bool operator!=(const Cookie& other) const { return !(*this == other); }

  const std::string& getName() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }
  const std::string& getValue() const { return value_; }
  void setValue(std::string value) { value_ = std::move(value); }
  const std::string& getDomain() const { return domain_; }
  void setDomain(std::string domain) { domain_ = std::move(domain); }
  const std::string& getPath() const { return path_; }
  void setPath(std::string path) { path_ = std::move(path); }
  int64_t getExpiryTime() const { return expiryTime_; }
  void setExpiryTime(int64_t t) { expiryTime_ = t; }
  bool getPersistent() const { return persistent_; }
  void setPersistent(bool f) { persistent_ = f; }
  bool getHostOnly() const { return hostOnly_; }
  void setHostOnly(bool f) { hostOnly_ = f; }
  bool getSecure() const { return secure_; }
  void setSecure(bool f) { secure_ = f; }
  bool getHttpOnly() const { return httpOnly_; }
  void setHttpOnly(bool f) { httpOnly_ = f; }
  int64_t getCreationTime() const { return creationTime_; }
  void setCreationTime(int64_t t) { creationTime_ = t; }
  int64_t getLastAccessTime() const { return lastAccessTime_; }
  void setLastAccessTime(int64_t t) { lastAccessTime_ = t; }

 private:
  int64_t expiryTime_;
  int64_t creationTime_;
  int64_t lastAccessTime_;
  std::string name_;
  std::string value_;
  std::string domain_;
  std::string path_;
  bool persistent_;
  bool hostOnly_;
  bool secure_;
  bool httpOnly_;
};

}  // namespace quarn
