#include "client/http/HttpRequest.h"

#include <algorithm>
#include <iterator>

#include "client/auth/AuthConfigFactory.h"
#include "client/common/userinfo.h"
#include "client/cookie/CookieStorage.h"
#include "foundation/MessageDigest.h"
#include "foundation/Time.h"
#include "foundation/base64.h"
#include "foundation/util_chars.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"
#include "storage/FileEntry.h"
#include "storage/Request.h"
#include "storage/Segment.h"

namespace quarn {

const std::string HttpRequest::USER_AGENT = "quarn";

namespace {

// The Metalink media types, most preferred first.
const char METALINK_CONTENT_TYPES[] = "application/metalink4+xml,application/metalink+xml";

std::string basicAuth(const std::string& text) {
  return "Basic " + base64::encode(text.begin(), text.end());
}

std::string wantDigestValue() {
  std::string value;
  if (MessageDigest::supports("sha-512")) {
    value += "SHA-512;q=1, ";
  }
  if (MessageDigest::supports("sha-256")) {
    value += "SHA-256;q=1, ";
  }
  if (MessageDigest::supports("sha-1")) {
    value += "SHA;q=0.1, ";
  }
  if (!value.empty()) {
    value.erase(value.size() - 2);
  }
  return value;
}

}  // namespace

HttpRequest::HttpRequest()
    : cookieStorage_(nullptr),
      authConfigFactory_(nullptr),
      option_(nullptr),
      endOffsetOverride_(0),
      userAgent_(USER_AGENT),
      contentEncodingEnabled_(true),
      acceptMetalink_(false),
      noCache_(true),
      acceptGzip_(false),
      noWantDigest_(false) {}

HttpRequest::~HttpRequest() = default;

void HttpRequest::addHeader(const std::string& headersString) {
  util::split(headersString.begin(), headersString.end(), std::back_inserter(headers_), '\n', true);
}

const std::string& HttpRequest::getMethod() const {
  return request_->getMethod();
}
const std::string& HttpRequest::getProtocol() const {
  return request_->getProtocol();
}
const std::string& HttpRequest::getHost() const {
  return request_->getHost();
}
uint16_t HttpRequest::getPort() const {
  return request_->getPort();
}
const std::string& HttpRequest::getDir() const {
  return request_->getDir();
}
const std::string& HttpRequest::getFile() const {
  return request_->getFile();
}
const std::string& HttpRequest::getQuery() const {
  return request_->getQuery();
}
const std::string& HttpRequest::getCurrentURI() const {
  return request_->getCurrentUri();
}
std::string HttpRequest::getURIHost() const {
  return request_->getURIHost();
}
int64_t HttpRequest::getEntityLength() const {
  return fileEntry_->getLength();
}

int64_t HttpRequest::getStartByte() const {
  if (!segment_) {
    return 0;
  }
  return fileEntry_->gtoloff(segment_->getPositionToWrite());
}

int64_t HttpRequest::getEndByte() const {
  if (!segment_ || !request_) {
    return 0;
  }
  if (request_->isPipeliningEnabled()) {
    int64_t segmentEnd = fileEntry_->gtoloff(segment_->getPosition() + segment_->getLength() - 1);
    return std::min(fileEntry_->getLength() - 1, segmentEnd);
  }
  return endOffsetOverride_ > 0 ? endOffsetOverride_ - 1 : 0;
}

Range HttpRequest::getRange() const {
  if (!segment_) {
    return Range();
  }
  return Range(getStartByte(), getEndByte(), fileEntry_->getLength());
}

bool HttpRequest::isRangeSatisfied(const Range& range) const {
  if (!segment_) {
    return true;
  }
  if (range.getStartByte() != getStartByte()) {
    return false;
  }
  int64_t endByte = getEndByte();
  if (endByte != 0 && endByte != range.getEndByte()) {
    return false;
  }
  int64_t entityLength = fileEntry_->getLength();
  return entityLength == 0 || entityLength == range.getEntityLength();
}

bool HttpRequest::conditionalRequest() const {
  if (!ifModSinceHeader_.empty()) {
    return true;
  }
  return std::any_of(headers_.begin(), headers_.end(), [](const std::string& line) {
    return util::istartsWith(line, "if-modified-since") || util::istartsWith(line, "if-none-match");
  });
}

// Through a GET proxy the target is the absolute URI. Its userinfo never goes
// on the wire: credentials travel in the Authorization field.
std::string HttpRequest::requestTarget() const {
  if (!proxyRequest_) {
    return getDir() + getFile() + getQuery();
  }
  std::string target = userinfo::erase(getCurrentURI());
  if (getProtocol() == "ftp" && authConfig_) {
    // The proxy needs the FTP user name to log in; "ftp://" is 6 bytes.
    target.insert(6, util::percentEncode(authConfig_->getUser()) + "@");
  }
  return target;
}

std::string HttpRequest::hostField(bool alwaysWithPort) const {
  std::string host = getURIHost();
  uint16_t port = getPort();
  if (alwaysWithPort || (port != 80 && port != 443)) {
    host += ":" + util::uitos(port);
  }
  return host;
}

std::string HttpRequest::rangeValue() const {
  if (!segment_ || segment_->getLength() < 1) {
    return "";
  }
  bool pipelining = request_->isPipeliningEnabled();
  int64_t startByte = getStartByte();
  int64_t endByte = getEndByte();
  if (!pipelining && startByte <= 0 && endByte < 1) {
    return "";
  }
  std::string value = "bytes=" + util::itos(startByte) + "-";
  if (pipelining || endByte >= 1) {
    value += util::itos(endByte);
  }
  return value;
}

std::string HttpRequest::cookieValue() const {
  if (!cookieStorage_) {
    return "";
  }
  std::string value;
  for (const Cookie* c : cookieStorage_->criteriaFind(
           getHost(), getDir() + getFile(), Time().getTimeFromEpoch(), getProtocol() == "https")) {
    value += c->toString();
    value += ';';
  }
  return value;
}

bool HttpRequest::userHeaderOverrides(const std::string& name) const {
  return std::any_of(headers_.begin(), headers_.end(),
                     [&name](const std::string& line) { return util::istartsWith(line, name); });
}

std::string HttpRequest::createRequest() {
  authConfig_.reset();
  if (authConfigFactory_) {
    authConfig_ = authConfigFactory_->createAuthConfig(request_, option_);
  }
  std::string text = getMethod() + " " + requestTarget() + " HTTP/1.1\r\n";

  std::vector<std::pair<std::string, std::string>> fields;
  fields.reserve(20);
  fields.emplace_back("User-Agent:", userAgent_);
  std::string accept = "*/*";
  if (acceptMetalink_) {
    accept += ",";
    accept += METALINK_CONTENT_TYPES;
  }
  fields.emplace_back("Accept:", accept);
  if (contentEncodingEnabled_ && acceptGzip_) {
    fields.emplace_back("Accept-Encoding:", "deflate, gzip");
  }
  fields.emplace_back("Host:", hostField(false));
  if (noCache_) {
    fields.emplace_back("Pragma:", "no-cache");
    fields.emplace_back("Cache-Control:", "no-cache");
  }
  if (!request_->isKeepAliveEnabled()) {
    fields.emplace_back("Connection:", "close");
  }
  std::string range = rangeValue();
  if (!range.empty()) {
    fields.emplace_back("Range:", range);
  }
  if (proxyRequest_) {
    if (request_->isKeepAliveEnabled()) {
      fields.emplace_back("Connection:", "Keep-Alive");
    }
    if (!proxyRequest_->getUsername().empty()) {
      fields.push_back(getProxyAuthString());
    }
  }
  if (authConfig_) {
    fields.emplace_back("Authorization:", basicAuth(authConfig_->getAuthText()));
  }
  if (!request_->getReferer().empty()) {
    fields.emplace_back("Referer:", request_->getReferer());
  }
  std::string cookie = cookieValue();
  if (!cookie.empty()) {
    fields.emplace_back("Cookie:", cookie);
  }
  if (!ifModSinceHeader_.empty()) {
    fields.emplace_back("If-Modified-Since:", ifModSinceHeader_);
  }
  if (!noWantDigest_) {
    std::string wantDigest = wantDigestValue();
    if (!wantDigest.empty()) {
      fields.emplace_back("Want-Digest:", wantDigest);
    }
  }

  for (const auto& [name, value] : fields) {
    if (!userHeaderOverrides(name)) {
      text += name + " " + value + "\r\n";
    }
  }
  for (const auto& line : headers_) {
    text += line + "\r\n";
  }
  text += "\r\n";
  return text;
}

std::string HttpRequest::createProxyRequest() const {
  std::string hostPort = hostField(true);
  std::string text = "CONNECT " + hostPort + " HTTP/1.1\r\nUser-Agent: " + userAgent_ +
                     "\r\nHost: " + hostPort + "\r\n";
  if (!proxyRequest_->getUsername().empty()) {
    auto [name, value] = getProxyAuthString();
    text += name + " " + value + "\r\n";
  }
  text += "\r\n";
  return text;
}

std::pair<std::string, std::string> HttpRequest::getProxyAuthString() const {
  return {"Proxy-Authorization:",
          basicAuth(proxyRequest_->getUsername() + ":" + proxyRequest_->getPassword())};
}

}  // namespace quarn
