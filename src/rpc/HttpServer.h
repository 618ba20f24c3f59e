#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quarn {

class DiskWriter;
class HttpHeader;
class HttpHeaderProcessor;
class SocketBuffer;
class SocketCore;
class SocketRecvBuffer;

namespace util {
namespace security {
class HMAC;
class HMACResult;
}  // namespace security
}  // namespace util

namespace rpc {

// The server side of one control connection: reads one request at a time
// (head, then body into a sink chosen by method and path), checks Basic
// credentials and queues response heads. It knows nothing of RPC itself.
class HttpServer {
 public:
  enum RequestType { RPC_TYPE_NONE, RPC_TYPE_XML, RPC_TYPE_JSON, RPC_TYPE_JSONP };

  explicit HttpServer(const std::shared_ptr<SocketCore>& socket);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // True once a whole request head has been read.
  bool receiveRequest();
  // True once the whole body has been read.
  bool receiveBody();

  const std::string& getMethod() const;
  const std::string& getRequestPath() const;
  // The request-target without query and fragment ("/" when empty).
  std::string createPath() const;
  // "?..." up to the fragment; empty without a query.
  std::string createQuery() const;
  const HttpHeader* getLastRequestHeader() const { return lastRequestHeader_.get(); }
  DiskWriter* getBody() const { return bodySink_.get(); }
  RequestType getRequestType() const { return reqType_; }
  int64_t getContentLength() const { return contentLength_; }

  bool authenticate() const;
  // Only a non-empty user switches Basic authentication on.
  void setUsernamePassword(const std::string& username, const std::string& password);

  // headers: complete lines, each ending in CR LF.
  void feedResponse(int status, const std::string& headers, std::string text,
                    const std::string& contentType);
  void feedResponse(std::string text, const std::string& contentType) {
    feedResponse(200, "", std::move(text), contentType);
  }
  void feedUpgradeResponse(const std::string& protocol, const std::string& headers);

  ssize_t sendResponse();
  bool sendBufferIsEmpty() const;
  bool supportsPersistentConnection() const;

  bool wantRead() const;
  bool wantWrite() const;
  // Bytes already read from the socket (or held by TLS) but not yet parsed.
  bool hasPendingInput() const;

  const std::shared_ptr<SocketCore>& getSocket() const { return socket_; }
  void disableKeepAlive() { keepAlive_ = false; }
  void enableGZip() { gzip_ = true; }
  // Whether answers to this request are compressed.
  bool useGZip() const { return gzip_ && acceptsGZip_; }
  void setAllowOrigin(std::string origin) { allowOrigin_ = std::move(origin); }
  const std::string& getAllowOrigin() const { return allowOrigin_; }
  void setSecure(bool f) { secure_ = f; }
  bool getSecure() const { return secure_; }

 private:
  void chooseBodySink();
  void readMore();

  std::shared_ptr<SocketCore> socket_;
  std::shared_ptr<SocketRecvBuffer> socketRecvBuffer_;
  std::unique_ptr<SocketBuffer> socketBuffer_;
  std::unique_ptr<HttpHeaderProcessor> headerProcessor_;
  std::unique_ptr<HttpHeader> lastRequestHeader_;
  int64_t contentLength_;
  uint64_t bodyConsumed_;
  RequestType reqType_;
  std::unique_ptr<DiskWriter> bodySink_;
  bool keepAlive_;
  bool gzip_;
  std::unique_ptr<util::security::HMACResult> username_;
  std::unique_ptr<util::security::HMACResult> password_;
  bool acceptsGZip_;
  std::string allowOrigin_;
  bool secure_;
};

// "200 OK" for 200 and so on; empty for a code without a text.
const char* getStatusString(int status);

}  // namespace rpc
}  // namespace quarn
