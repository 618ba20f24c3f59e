#include "rpc/HttpServer.h"

#include <iterator>
#include <vector>

#include "engine/ValueBaseDiskWriter.h"
#include "foundation/DlAbortEx.h"
#include "foundation/JsonParser.h"
#include "foundation/LogMacros.h"
#include "foundation/Time.h"
#include "foundation/base64.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_number.h"
#include "foundation/util_security.h"
#include "foundation/util_string.h"
#include "net/HttpHeader.h"
#include "net/HttpHeaderProcessor.h"
#include "net/SocketBuffer.h"
#include "net/SocketCore.h"
#include "net/SocketRecvBuffer.h"
#include "rpc/XmlRpcDiskWriter.h"

namespace quarn {
namespace rpc {

namespace {

// Keys the credential digests; made on first need and kept for the process,
// so that no client can know it and credentials are never kept in clear.
util::security::HMAC& credentialHMAC() {
  static std::unique_ptr<util::security::HMAC> hmac = util::security::HMAC::createRandom();
  return *hmac;
}

struct StatusText {
  int code;
  const char* text;
};

constexpr StatusText STATUS_TEXTS[] = {
    {100, "100 Continue"},
    {101, "101 Switching Protocols"},
    {200, "200 OK"},
    {201, "201 Created"},
    {202, "202 Accepted"},
    {203, "203 Non-Authoritative Information"},
    {204, "204 No Content"},
    {205, "205 Reset Content"},
    {206, "206 Partial Content"},
    {300, "300 Multiple Choices"},
    {301, "301 Moved Permanently"},
    {302, "302 Found"},
    {303, "303 See Other"},
    {304, "304 Not Modified"},
    {305, "305 Use Proxy"},
    {307, "307 Temporary Redirect"},
    {400, "400 Bad Request"},
    {401, "401 Unauthorized"},
    {402, "402 Payment Required"},
    {403, "403 Forbidden"},
    {404, "404 Not Found"},
    {405, "405 Method Not Allowed"},
    {406, "406 Not Acceptable"},
    {407, "407 Proxy Authentication Required"},
    {408, "408 Request Timeout"},
    {409, "409 Conflict"},
    {410, "410 Gone"},
    {411, "411 Length Required"},
    {412, "412 Precondition Failed"},
    {413, "413 Request Entity Too Large"},
    {414, "414 Request-URI Too Long"},
    {415, "415 Unsupported Media Type"},
    {416, "416 Requested Range Not Satisfiable"},
    {417, "417 Expectation Failed"},
    {426, "426 Upgrade Required"},
    {500, "500 Internal Server Error"},
    {501, "501 Not Implemented"},
    {502, "502 Bad Gateway"},
    {503, "503 Service Unavailable"},
    {504, "504 Gateway Timeout"},
    {505, "505 HTTP Version Not Supported"},
};

bool acceptsGZip(const HttpHeader& header) {
  for (const auto& value : header.findAll(HttpHeader::ACCEPT_ENCODING)) {
    std::vector<std::string> tokens;
    util::split(value.begin(), value.end(), std::back_inserter(tokens), ',', true);
    for (const auto& token : tokens) {
      if (util::strieq(token, "gzip")) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

const char* getStatusString(int status) {
  for (const auto& entry : STATUS_TEXTS) {
    if (entry.code == status) {
      return entry.text;
    }
  }
  return "";
}

HttpServer::HttpServer(const std::shared_ptr<SocketCore>& socket)
    : socket_(socket),
      socketRecvBuffer_(std::make_shared<SocketRecvBuffer>(socket_)),
      socketBuffer_(std::make_unique<SocketBuffer>(socket_)),
      headerProcessor_(std::make_unique<HttpHeaderProcessor>(HttpHeaderProcessor::REQUEST_PARSER)),
      contentLength_(0),
      bodyConsumed_(0),
      reqType_(RPC_TYPE_NONE),
      keepAlive_(true),
      gzip_(false),
      acceptsGZip_(false),
      secure_(false) {}

HttpServer::~HttpServer() = default;

void HttpServer::readMore() {
  if (!socketRecvBuffer_->bufferEmpty()) {
    return;
  }
  if (socketRecvBuffer_->recv() == 0 && !socket_->wantRead() && !socket_->wantWrite()) {
    throw DL_ABORT_EX(_("Got EOF from peer."));
  }
}

bool HttpServer::receiveRequest() {
  readMore();
  bool complete =
      headerProcessor_->parse(socketRecvBuffer_->getBuffer(), socketRecvBuffer_->getBufferLength());
  socketRecvBuffer_->drain(headerProcessor_->getLastBytesProcessed());
  if (!complete) {
    return false;
  }
  lastRequestHeader_ = headerProcessor_->getResult();
  QLOG_INFO(fmt("HTTP Server received request\n%s", headerProcessor_->getHeaderString().c_str()));
  bodyConsumed_ = 0;
  chooseBodySink();
  if (reqType_ == RPC_TYPE_NONE) {
    QLOG_INFO("Request path is invalid. Ignore the request body.");
  }
  const std::string& length = lastRequestHeader_->find(HttpHeader::CONTENT_LENGTH);
  if (length.empty()) {
    contentLength_ = 0;
  } else if (!util::parseLLIntNoThrow(contentLength_, length) || contentLength_ < 0) {
    throw DL_ABORT_EX(fmt("Invalid Content-Length=%s", length.c_str()));
  }
  headerProcessor_->clear();
  acceptsGZip_ = acceptsGZip(*lastRequestHeader_);
  return true;
}

void HttpServer::chooseBodySink() {
  const std::string& method = getMethod();
  std::string path = createPath();
  RequestType type = RPC_TYPE_NONE;
  if (path == "/jsonrpc") {
    if (method == "GET") {
      type = RPC_TYPE_JSONP;
    } else if (method == "POST") {
      type = RPC_TYPE_JSON;
    }
  } else if (path == "/rpc" && method == "POST") {
    type = RPC_TYPE_XML;
  }
  if (type == reqType_ && (type == RPC_TYPE_JSON || type == RPC_TYPE_XML) && bodySink_) {
    return;
  }
  reqType_ = type;
  switch (type) {
    case RPC_TYPE_JSON:
      bodySink_ = std::make_unique<ValueBaseDiskWriter<json::JsonParser>>();
      break;
    case RPC_TYPE_XML:
      bodySink_ = std::make_unique<XmlRpcDiskWriter>();
      break;
    default:
      bodySink_.reset();
      break;
  }
}

bool HttpServer::receiveBody() {
  if (bodyConsumed_ == static_cast<uint64_t>(contentLength_)) {
    return true;
  }
  readMore();
  size_t length = std::min<uint64_t>(socketRecvBuffer_->getBufferLength(),
                                     static_cast<uint64_t>(contentLength_) - bodyConsumed_);
  if (bodySink_) {
    bodySink_->writeData(socketRecvBuffer_->getBuffer(), length, 0);
  }
  socketRecvBuffer_->drain(length);
  bodyConsumed_ += length;
  return bodyConsumed_ == static_cast<uint64_t>(contentLength_);
}

const std::string& HttpServer::getMethod() const {
  return lastRequestHeader_->getMethod();
}

const std::string& HttpServer::getRequestPath() const {
  return lastRequestHeader_->getRequestPath();
}

std::string HttpServer::createPath() const {
  const std::string& target = getRequestPath();
  std::string path = target.substr(0, target.find_first_of("#?"));
  return path.empty() ? "/" : path;
}

std::string HttpServer::createQuery() const {
  const std::string& target = getRequestPath();
  auto q = target.find('?');
  if (q == std::string::npos) {
    return "";
  }
  auto frag = target.find('#');
  if (frag != std::string::npos && frag < q) {
    return "";
  }
  return target.substr(q, frag == std::string::npos ? std::string::npos : frag - q);
}

bool HttpServer::authenticate() const {
  if (!username_) {
    return true;
  }
  const std::string& auth = lastRequestHeader_->find(HttpHeader::AUTHORIZATION);
  if (auth.empty()) {
    return false;
  }
  auto space = auth.find(' ');
  std::string scheme = util::strip(auth.substr(0, space));
  std::string credentials =
      space == std::string::npos ? std::string() : util::strip(auth.substr(space + 1));
  if (scheme != "Basic") {
    return false;
  }
  std::string decoded = base64::decode(credentials.begin(), credentials.end());
  auto colon = decoded.find(':');
  std::string user = decoded.substr(0, colon);
  std::string password = colon == std::string::npos ? std::string() : decoded.substr(colon + 1);
  auto& hmac = credentialHMAC();
  if (hmac.getResult(user) != *username_) {
    return false;
  }
  return !password_ || hmac.getResult(password) == *password_;
}

void HttpServer::setUsernamePassword(const std::string& username, const std::string& password) {
  auto& hmac = credentialHMAC();
  username_ = username.empty()
                  ? nullptr
                  : std::make_unique<util::security::HMACResult>(hmac.getResult(username));
  password_ = password.empty()
                  ? nullptr
                  : std::make_unique<util::security::HMACResult>(hmac.getResult(password));
}

void HttpServer::feedResponse(int status, const std::string& headers, std::string text,
                              const std::string& contentType) {
  std::string date = Time().toHTTPDate();
  std::string head = fmt(
      "HTTP/1.1 %s\r\nDate: %s\r\nContent-Length: %lu\r\nExpires: %s\r\n"
      "Cache-Control: no-cache\r\n",
      getStatusString(status), date.c_str(), static_cast<unsigned long>(text.size()), date.c_str());
  if (!contentType.empty()) {
    head += "Content-Type: " + contentType + "\r\n";
  }
  if (!allowOrigin_.empty()) {
    head += "Access-Control-Allow-Origin: " + allowOrigin_ + "\r\n";
  }
  if (useGZip()) {
    head += "Content-Encoding: gzip\r\n";
  }
  if (!supportsPersistentConnection()) {
    head += "Connection: close\r\n";
  }
  head += headers;
  head += "\r\n";
  QLOG_DEBUG(fmt("HTTP Server sends response:\n%s", head.c_str()));
  socketBuffer_->pushStr(std::move(head));
  socketBuffer_->pushStr(std::move(text));
}

void HttpServer::feedUpgradeResponse(const std::string& protocol, const std::string& headers) {
  std::string head =
      fmt("HTTP/1.1 101 Switching Protocols\r\nUpgrade: %s\r\nConnection: Upgrade\r\n%s\r\n",
          protocol.c_str(), headers.c_str());
  QLOG_DEBUG(fmt("HTTP Server sends upgrade response:\n%s", head.c_str()));
  socketBuffer_->pushStr(std::move(head));
}

ssize_t HttpServer::sendResponse() {
  return socketBuffer_->send();
}

bool HttpServer::sendBufferIsEmpty() const {
  return socketBuffer_->sendBufferIsEmpty();
}

bool HttpServer::supportsPersistentConnection() const {
  return keepAlive_ && lastRequestHeader_ && lastRequestHeader_->isKeepAlive();
}

bool HttpServer::wantRead() const {
  return socket_->wantRead();
}

bool HttpServer::wantWrite() const {
  return socket_->wantWrite();
}

bool HttpServer::hasPendingInput() const {
  return !socketRecvBuffer_->bufferEmpty() || socket_->getRecvBufferedLength() > 0;
}

}  // namespace rpc
}  // namespace quarn
