#pragma once

#include <memory>

#include "client/http/HttpRequest.h"
#include "net/HttpHeaderProcessor.h"

namespace quarn {

// A request sent on a connection and not yet answered, with the parser that
// reads its answer's head.
class HttpRequestEntry {
 public:
  // A tunnel request (CONNECT) is answered by a head alone; what follows it
  // belongs to the protocol inside the tunnel.
  explicit HttpRequestEntry(std::unique_ptr<HttpRequest> httpRequest, bool tunnel = false);
  ~HttpRequestEntry();
  HttpRequestEntry(const HttpRequestEntry&) = delete;
  HttpRequestEntry& operator=(const HttpRequestEntry&) = delete;

  // A fresh parser, for the final answer after an informational one.
  void resetHttpHeaderProcessor();
  std::unique_ptr<HttpRequest> popHttpRequest() { return std::move(httpRequest_); }
  const std::unique_ptr<HttpRequest>& getHttpRequest() const { return httpRequest_; }
  HttpHeaderProcessor* getHttpHeaderProcessor() const { return proc_.get(); }
  bool isTunnel() const { return tunnel_; }

 private:
  std::unique_ptr<HttpRequest> httpRequest_;
  std::unique_ptr<HttpHeaderProcessor> proc_;
  bool tunnel_;
};

}  // namespace quarn
