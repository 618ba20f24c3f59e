#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "client/auth/AuthConfig.h"
#include "net/Range.h"

namespace quarn {

class AuthConfigFactory;
class CookieStorage;
class FileEntry;
class Option;
class Request;
class Segment;

// Writes the head of one HTTP/1.1 request (or of a proxy CONNECT) from the
// connection's state, and answers what was asked for when the response is
// checked.
class HttpRequest {
 public:
  static const std::string USER_AGENT;

  HttpRequest();
  ~HttpRequest();
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  void setRequest(std::shared_ptr<Request> request) { request_ = std::move(request); }
  const std::shared_ptr<Request>& getRequest() const { return request_; }
  void setFileEntry(std::shared_ptr<FileEntry> fileEntry) { fileEntry_ = std::move(fileEntry); }
  const std::shared_ptr<FileEntry>& getFileEntry() const { return fileEntry_; }
  void setSegment(std::shared_ptr<Segment> segment) { segment_ = std::move(segment); }
  const std::shared_ptr<Segment>& getSegment() const { return segment_; }
  void setProxyRequest(std::shared_ptr<Request> proxyRequest) {
    proxyRequest_ = std::move(proxyRequest);
  }
  bool isProxyRequestSet() const { return proxyRequest_ != nullptr; }

  void setCookieStorage(CookieStorage* cookieStorage) { cookieStorage_ = cookieStorage; }
  CookieStorage* getCookieStorage() const { return cookieStorage_; }
  void setAuthConfigFactory(AuthConfigFactory* factory) { authConfigFactory_ = factory; }
  void setOption(const Option* option) { option_ = option; }

  void setUserAgent(std::string userAgent) { userAgent_ = std::move(userAgent); }
  void setIfModifiedSinceHeader(std::string value) { ifModSinceHeader_ = std::move(value); }
  void enableContentEncoding() { contentEncodingEnabled_ = true; }
  void disableContentEncoding() { contentEncodingEnabled_ = false; }
  void setAcceptMetalink(bool f) { acceptMetalink_ = f; }
  void setNoCache(bool f) { noCache_ = f; }
  void setAcceptGzip(bool f) { acceptGzip_ = f; }
  void setNoWantDigest(bool f) { noWantDigest_ = f; }
  void setEndOffsetOverride(int64_t offset) { endOffsetOverride_ = offset; }

  // Adds the non-empty lines of the text as extra header lines.
  void addHeader(const std::string& headersString);
  void clearHeader() { headers_.clear(); }

  const std::unique_ptr<AuthConfig>& getAuthConfig() const { return authConfig_; }
  bool authenticationUsed() const { return authConfig_ != nullptr; }

  const std::string& getMethod() const;
  const std::string& getProtocol() const;
  const std::string& getHost() const;
  uint16_t getPort() const;
  const std::string& getDir() const;
  const std::string& getFile() const;
  const std::string& getQuery() const;
  const std::string& getCurrentURI() const;
  std::string getURIHost() const;
  int64_t getEntityLength() const;

  // The first and last byte asked for, as offsets within the file.
  int64_t getStartByte() const;
  int64_t getEndByte() const;
  Range getRange() const;
  bool isRangeSatisfied(const Range& range) const;
  bool conditionalRequest() const;

  std::string createRequest();
  std::string createProxyRequest() const;
  std::pair<std::string, std::string> getProxyAuthString() const;

 private:
  std::string requestTarget() const;
  std::string hostField(bool alwaysWithPort) const;
  std::string rangeValue() const;
  std::string cookieValue() const;
  bool userHeaderOverrides(const std::string& name) const;

  std::shared_ptr<Request> request_;
  std::shared_ptr<FileEntry> fileEntry_;
  std::shared_ptr<Segment> segment_;
  std::shared_ptr<Request> proxyRequest_;
  std::unique_ptr<AuthConfig> authConfig_;
  CookieStorage* cookieStorage_;
  AuthConfigFactory* authConfigFactory_;
  const Option* option_;
  int64_t endOffsetOverride_;
  std::vector<std::string> headers_;
  std::string userAgent_;
  std::string ifModSinceHeader_;
  bool contentEncodingEnabled_;
  bool acceptMetalink_;
  bool noCache_;
  bool acceptGzip_;
  bool noWantDigest_;
};

}  // namespace quarn
