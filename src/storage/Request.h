#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/Timer.h"
#include "foundation/uri.h"

namespace quarn {

class PeerStat;

// The URI state of one client connection: the URI it was made for, the URI in
// effect after redirects, the connected address, try and redirect counts and
// the connection's keep-alive and pipelining state.
class Request {
 public:
  static const std::string METHOD_GET;
  static const std::string METHOD_HEAD;
  // The file name HTTP uses when a URI has no file part.
  static const std::string DEFAULT_FILE;

  Request();
  ~Request();
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  bool setUri(const std::string& uri);
  // Undoes all redirects and forgets the connected address.
  bool resetUri();
  bool redirectUri(const std::string& target);

  void setReferer(const std::string& uri);
  const std::string& getReferer() const { return referer_; }
  void setMethod(const std::string& method) { method_ = method; }
  const std::string& getMethod() const { return method_; }

  void setConnectedAddrInfo(const std::string& hostname, const std::string& addr, uint16_t port);
  const std::string& getConnectedHostname() const { return connectedHostname_; }
  const std::string& getConnectedAddr() const { return connectedAddr_; }
  uint16_t getConnectedPort() const { return connectedPort_; }

  void initPeerStat();
  const std::shared_ptr<PeerStat>& getPeerStat() const { return peerStat_; }

  // The host as written in a URI: an IPv6 literal in brackets.
  std::string getURIHost() const;

  const std::string& getUri() const { return uri_; }
  const std::string& getCurrentUri() const { return currentUri_; }
  const std::string& getProtocol() const { return uriParts_.protocol; }
  const std::string& getHost() const { return uriParts_.host; }
  uint16_t getPort() const { return uriParts_.port; }
  const std::string& getDir() const { return uriParts_.dir; }
  const std::string& getFile() const { return uriParts_.file; }
  const std::string& getQuery() const { return uriParts_.query; }
  const std::string& getUsername() const { return uriParts_.username; }
  const std::string& getPassword() const { return uriParts_.password; }
  bool hasPassword() const { return uriParts_.hasPassword; }
  bool isIPv6LiteralAddress() const { return uriParts_.ipv6LiteralAddress; }
  // Whether redirects kept the host of the URI given to setUri, and also its
  // port and its security (no step from https down to http).
  bool onGivenHost() const;
  bool onGivenOrigin() const;

  int32_t getTryCount() const { return tryCount_; }
  void addTryCount() { ++tryCount_; }
  int32_t getRedirectCount() const { return redirectCount_; }
  void resetRedirectCount() { redirectCount_ = 0; }

  bool isPersistentConnection() const { return persistentConnection_; }
  void supportsPersistentConnection(bool f) { persistentConnection_ = f; }
  bool getKeepAliveHint() const { return keepAliveHint_; }
  void setKeepAliveHint(bool f) { keepAliveHint_ = f; }
  bool getPipeliningHint() const { return pipeliningHint_; }
  void setPipeliningHint(bool f) { pipeliningHint_ = f; }
  bool isKeepAliveEnabled() const {
    return persistentConnection_ && (keepAliveHint_ || pipeliningHint_);
  }
  bool isPipeliningEnabled() const { return persistentConnection_ && pipeliningHint_; }
  int32_t getMaxPipelinedRequest() const { return maxPipelinedRequest_; }
  void setMaxPipelinedRequest(int32_t n) { maxPipelinedRequest_ = n; }

  bool removalRequested() const { return removalRequested_; }
  void requestRemoval() { removalRequested_ = true; }

  const Timer& getWakeTime() const { return wakeTime_; }
  void setWakeTime(Timer t) { wakeTime_ = t; }

 private:
  bool parseUri(const std::string& text);

  uri::UriStruct uriParts_;
  uri::UriStruct givenParts_;
  std::string uri_;
  std::string currentUri_;
  std::string referer_;
  std::string method_;
  std::string connectedHostname_;
  std::string connectedAddr_;
  int32_t tryCount_;
  int32_t redirectCount_;
  bool persistentConnection_;
  bool keepAliveHint_;
  bool pipeliningHint_;
  int32_t maxPipelinedRequest_;
  std::shared_ptr<PeerStat> peerStat_;
  bool removalRequested_;
  uint16_t connectedPort_;
  Timer wakeTime_;
};

}  // namespace quarn
