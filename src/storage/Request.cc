#include "storage/Request.h"

#include "foundation/uri_split.h"
#include "foundation/util_chars.h"
#include "foundation/wallclock.h"
#include "storage/PeerStat.h"

namespace quarn {

const std::string Request::METHOD_GET = "GET";
const std::string Request::METHOD_HEAD = "HEAD";
const std::string Request::DEFAULT_FILE = "index.html";

namespace {

std::string removeFragment(const std::string& uri) {
  return uri.substr(0, uri.find('#'));
}

// A reference is absolute when a scheme of letters, digits, "+", "-" and "."
// precedes its first "://".
bool isAbsoluteUri(const std::string& target) {
  size_t sep = target.find("://");
  if (sep == std::string::npos) {
    return false;
  }
  for (size_t i = 0; i < sep; ++i) {
    char c = target[i];
    if (!util::isAlpha(c) && !util::isDigit(c) && c != '+' && c != '-' && c != '.') {
      return false;
    }
  }
  return true;
}

}  // namespace

Request::Request()
    : method_(METHOD_GET),
      tryCount_(0),
      redirectCount_(0),
      persistentConnection_(true),
      keepAliveHint_(false),
      pipeliningHint_(false),
      maxPipelinedRequest_(1),
      removalRequested_(false),
      connectedPort_(0),
      wakeTime_(global::wallclock()) {}

Request::~Request() = default;

bool Request::parseUri(const std::string& text) {
  currentUri_ = removeFragment(text);
  uri::UriStruct parts;
  if (!uri::parse(parts, currentUri_)) {
    return false;
  }
  uriParts_.swap(parts);
  return true;
}

bool Request::setUri(const std::string& uri) {
  persistentConnection_ = true;
  uri_ = uri;
  if (!parseUri(uri)) {
    return false;
  }
  givenParts_ = uriParts_;
  return true;
}

bool Request::onGivenHost() const {
  return uriParts_.host == givenParts_.host;
}

bool Request::onGivenOrigin() const {
  bool downgraded = givenParts_.protocol == "https" && uriParts_.protocol != "https";
  return onGivenHost() && uriParts_.port == givenParts_.port && !downgraded;
}

bool Request::resetUri() {
  persistentConnection_ = true;
  connectedHostname_.clear();
  connectedAddr_.clear();
  connectedPort_ = 0;
  return parseUri(uri_);
}

bool Request::redirectUri(const std::string& target) {
  persistentConnection_ = true;
  ++redirectCount_;
  if (target.empty()) {
    return false;
  }
  std::string resolved;
  if (target.compare(0, 2, "//") == 0) {
    resolved = uriParts_.protocol + ":" + target;
  } else if (isAbsoluteUri(target)) {
    resolved = target;
  } else {
    resolved = uri::joinUri(currentUri_, target);
  }
  return parseUri(resolved);
}

void Request::setReferer(const std::string& uri) {
  referer_ = removeFragment(uri);
}

void Request::setConnectedAddrInfo(const std::string& hostname, const std::string& addr,
                                   uint16_t port) {
  connectedHostname_ = hostname;
  connectedAddr_ = addr;
  connectedPort_ = port;
}

void Request::initPeerStat() {
  uri_split_result res;
  if (uri_split(&res, uri_.c_str()) != 0) {
    // Unreachable for a URI accepted by setUri; no statistics rather than
    // statistics of garbage.
    peerStat_ = std::make_shared<PeerStat>(0);
    return;
  }
  peerStat_ = std::make_shared<PeerStat>(0, uri::getFieldString(res, USR_HOST, uri_.c_str()),
                                         uri::getFieldString(res, USR_SCHEME, uri_.c_str()));
}

std::string Request::getURIHost() const {
  return isIPv6LiteralAddress() ? "[" + getHost() + "]" : getHost();
}

}  // namespace quarn
