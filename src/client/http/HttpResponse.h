#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/http/HttpRequest.h"
#include "foundation/Time.h"
#include "net/HttpHeader.h"

namespace quarn {

class Checksum;
class Option;
class StreamFilter;
struct MetalinkHttpEntry;

// One received HTTP answer paired with the request that asked for it.
class HttpResponse {
 public:
  HttpResponse();
  ~HttpResponse();
  HttpResponse(const HttpResponse&) = delete;
  HttpResponse& operator=(const HttpResponse&) = delete;

  void setCuid(int64_t cuid) { cuid_ = cuid; }
  int64_t getCuid() const { return cuid_; }
  void setHttpHeader(std::unique_ptr<HttpHeader> httpHeader) {
    httpHeader_ = std::move(httpHeader);
  }
  const std::unique_ptr<HttpHeader>& getHttpHeader() const { return httpHeader_; }
  void setHttpRequest(std::unique_ptr<HttpRequest> httpRequest) {
    httpRequest_ = std::move(httpRequest);
  }
  const std::unique_ptr<HttpRequest>& getHttpRequest() const { return httpRequest_; }

  int getStatusCode() const;
  // Throws when the answer cannot be used for the request.
  void validateResponse() const;

  bool isRedirect() const;
  const std::string& getRedirectURI() const;
  void processRedirect();

  std::string determineFilename(bool contentDispositionUtf8) const;
  void retrieveCookie();

  bool isTransferEncodingSpecified() const;
  const std::string& getTransferEncoding() const;
  std::unique_ptr<StreamFilter> getTransferEncodingStreamFilter() const;
  bool isContentEncodingSpecified() const;
  const std::string& getContentEncoding() const;
  std::unique_ptr<StreamFilter> getContentEncodingStreamFilter() const;

  int64_t getContentLength() const;
  int64_t getEntityLength() const;
  std::string getContentType() const;
  Time getLastModifiedTime() const;
  bool supportsPersistentConnection() const;

  // Appends the mirrors of the Link fields (rel=duplicate), sorted best first.
  // Mirrors whose location is listed in the metalink-location option gain
  // priority.
  void getMetalinKHttpEntries(std::vector<MetalinkHttpEntry>& result,
                              const std::shared_ptr<Option>& option) const;
  // Appends the usable digests of the Digest fields, strongest first, at most
  // one per hash type; a type announced with two different digests is dropped.
  void getDigest(std::vector<Checksum>& result) const;

 private:
  bool rangeSatisfied() const;

  int64_t cuid_;
  std::unique_ptr<HttpRequest> httpRequest_;
  std::unique_ptr<HttpHeader> httpHeader_;
};

}  // namespace quarn
