#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "client/http/HttpRequestEntry.h"
#include "client/http/HttpResponse.h"

namespace quarn {

class Segment;
class SocketBuffer;
class SocketCore;
class SocketRecvBuffer;

// The HTTP exchange of one client connection: requests are written through
// the send buffer and their answers read back in the order they were sent.
class HttpConnection {
 public:
  HttpConnection(int64_t cuid, std::shared_ptr<SocketCore> socket,
                 std::shared_ptr<SocketRecvBuffer> socketRecvBuffer);
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  void sendRequest(std::unique_ptr<HttpRequest> httpRequest);
  // The CONNECT request of a proxy tunnel.
  void sendProxyRequest(std::unique_ptr<HttpRequest> httpRequest);
  void sendRequest(std::unique_ptr<HttpRequest> httpRequest, std::string request);

  // The answer to the oldest outstanding request once its head is complete,
  // else null. The answer to a CONNECT is taken off the socket up to the end
  // of its head and no further: the server inside the tunnel may speak first
  // (an FTP greeting, an SSH banner), and its next reader reads the socket.
  std::unique_ptr<HttpResponse> receiveResponse();

  bool isIssued(const std::shared_ptr<Segment>& segment) const;
  bool sendBufferIsEmpty() const;
  void sendPendingData();

  const std::shared_ptr<SocketRecvBuffer>& getSocketRecvBuffer() const { return socketRecvBuffer_; }

  // The head with credentials and cookies replaced by "<snip>", for the log.
  static std::string eraseConfidentialInfo(const std::string& request);

 private:
  void queueRequest(std::string request);
  // Feed the parser; true once the head is complete.
  bool parseBuffered(HttpHeaderProcessor* proc);
  bool parseUpToEndOfHead(HttpHeaderProcessor* proc);
  void throwIfEof() const;

  int64_t cuid_;
  std::shared_ptr<SocketCore> socket_;
  std::shared_ptr<SocketRecvBuffer> socketRecvBuffer_;
  std::unique_ptr<SocketBuffer> socketBuffer_;
  std::deque<std::unique_ptr<HttpRequestEntry>> outstandingHttpRequests_;
};

}  // namespace quarn
