#include "client/cookie/Cookie.h"

#include "client/cookie/cookie_helper.h"

namespace quarn {

Cookie::Cookie()
    : expiryTime_(0),
      creationTime_(0),
      lastAccessTime_(0),
      persistent_(false),
      hostOnly_(false),
      secure_(false),
      httpOnly_(false) {}

Cookie::Cookie(std::string name, std::string value, int64_t expiryTime, bool persistent,
               std::string domain, bool hostOnly, std::string path, bool secure, bool httpOnly,
               int64_t creationTime)
    : expiryTime_(expiryTime),
      creationTime_(creationTime),
      lastAccessTime_(creationTime),
      name_(std::move(name)),
      value_(std::move(value)),
      domain_(std::move(domain)),
      path_(std::move(path)),
      persistent_(persistent),
      hostOnly_(hostOnly),
      secure_(secure),
      httpOnly_(httpOnly) {}

std::string Cookie::toString() const {
  return name_ + "=" + value_;
}

bool Cookie::match(const std::string& requestHost, const std::string& requestPath, int64_t date,
                   bool secure) const {
  if (secure_ && !secure) {
    return false;
  }
  if (persistent_ && expiryTime_ < date) {
    return false;
  }
  if (!cookie::pathMatch(requestPath, path_)) {
    return false;
  }
  return hostOnly_ ? requestHost == domain_ : cookie::domainMatch(requestHost, domain_);
}

bool Cookie::isExpired(int64_t base) const {
  return persistent_ && expiryTime_ < base;
}

std::string Cookie::toNsCookieFormat() const {
  std::string line;
  if (!hostOnly_) {
    line += '.';
  }
  line += domain_;
  line += hostOnly_ ? "\tFALSE\t" : "\tTRUE\t";
  line += path_;
  line += secure_ ? "\tTRUE\t" : "\tFALSE\t";
  line += persistent_ ? std::to_string(expiryTime_) : "0";
  line += '\t';
  line += name_;
  line += '\t';
  line += value_;
  return line;
}

bool Cookie::operator==(const Cookie& other) const {
  return domain_ == other.domain_ && path_ == other.path_ && name_ == other.name_;
}

}  // namespace quarn
