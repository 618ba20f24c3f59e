#include "rpc/HttpServerBodyCommand.h"

#include "client/HttpHeader.h"
#include "engine/DownloadEngine.h"
#include "engine/ValueBaseDiskWriter.h"
#include "foundation/GenericParser.h"
#include "foundation/JsonParser.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/ValueBaseStructParserStateMachine.h"
#include "foundation/fmt.h"
#include "foundation/json.h"
#include "foundation/wallclock.h"
#include "net/SocketCore.h"
#include "rpc/DelayedCommand.h"
#include "rpc/HttpServer.h"
#include "rpc/HttpServerResponseCommand.h"
#include "rpc/RpcMethod.h"
#include "rpc/RpcMethodFactory.h"
#include "rpc/XmlRpcDiskWriter.h"
#include "rpc/json_rpc.h"

namespace quarn {
namespace rpc {

namespace {

constexpr std::chrono::seconds TIMEOUT(30);

int httpStatusFor(int code) {
  switch (code) {
    case 0:
      return 200;
    case 1:
    case -32600:
      return 400;
    case -32601:
      return 404;
    default:
      return 500;
  }
}

}  // namespace

HttpServerBodyCommand::HttpServerBodyCommand(cuid_t cuid,
                                             const std::shared_ptr<HttpServer>& httpServer,
                                             DownloadEngine* e,
                                             const std::shared_ptr<SocketCore>& socket)
    : Command(cuid),
      e_(e),
      socket_(socket),
      httpServer_(httpServer),
      timeoutTimer_(global::wallclock()),
      writeCheck_(false) {
  setStatus(Command::STATUS_ONESHOT_REALTIME);
  e_->addSocketForReadCheck(socket_->getSockfd(), this);
  if (httpServer_->hasPendingInput()) {
    e_->setNoWait(true);
  }
}

HttpServerBodyCommand::~HttpServerBodyCommand() {
  e_->deleteSocketForReadCheck(socket_->getSockfd(), this);
  if (writeCheck_) {
    e_->deleteSocketForWriteCheck(socket_->getSockfd(), this);
  }
}

void HttpServerBodyCommand::updateWriteCheck() {
  if (httpServer_->wantWrite()) {
    if (!writeCheck_) {
      writeCheck_ = true;
      e_->addSocketForWriteCheck(socket_->getSockfd(), this);
    }
  } else if (writeCheck_) {
    writeCheck_ = false;
    e_->deleteSocketForWriteCheck(socket_->getSockfd(), this);
  }
}

void HttpServerBodyCommand::addHttpServerResponseCommand(bool delayed) {
  auto command = std::make_unique<HttpServerResponseCommand>(getCuid(), httpServer_, e_, socket_);
  if (delayed) {
    e_->addCommand(std::make_unique<DelayedCommand>(getCuid(), e_, std::chrono::seconds(1),
                                                    std::move(command), true));
  } else {
    e_->addCommand(std::move(command));
    e_->setNoWait(true);
  }
}

void HttpServerBodyCommand::answerOptions() {
  const HttpHeader* header = httpServer_->getLastRequestHeader();
  std::string headers;
  if (!header->find(HttpHeader::ORIGIN).empty() &&
      !header->find(HttpHeader::ACCESS_CONTROL_REQUEST_METHOD).empty() &&
      !httpServer_->getAllowOrigin().empty()) {
    headers =
        "Access-Control-Allow-Methods: POST, GET, OPTIONS\r\n"
        "Access-Control-Max-Age: 1728000\r\n";
    const std::string& requestHeaders = header->find(HttpHeader::ACCESS_CONTROL_REQUEST_HEADERS);
    if (!requestHeaders.empty()) {
      headers += "Access-Control-Allow-Headers: " + requestHeaders + "\r\n";
    }
  }
  httpServer_->feedResponse(200, headers, "", "");
  addHttpServerResponseCommand(false);
}

void HttpServerBodyCommand::answerXmlRpc() {
  auto* sink = static_cast<XmlRpcDiskWriter*>(httpServer_->getBody());
  if (sink->finalize() != 0) {
    sink->reset();
    QLOG_INFO(
        fmt("CUID#%lld - Failed to parse XML-RPC request", static_cast<long long>(getCuid())));
    httpServer_->feedResponse(400, "", "", "");
    addHttpServerResponseCommand(false);
    return;
  }
  RpcRequest req = sink->getResult();
  sink->reset();
  QLOG_INFO(fmt("Executing RPC method %s", req.methodName.c_str()));
  RpcResponse res = getMethod(req.methodName).execute(std::move(req), e_);
  httpServer_->feedResponse(toXml(res, httpServer_->useGZip()), "text/xml");
  // Failed token checks are held back here too, so that XML-RPC is no faster
  // a way to guess the secret.
  addHttpServerResponseCommand(!res.authorized());
}

void HttpServerBodyCommand::answerJsonRpc(const std::string& query) {
  std::unique_ptr<ValueBase> value;
  std::string callback;
  ssize_t error = 0;
  if (httpServer_->getRequestType() == HttpServer::RPC_TYPE_JSONP) {
    json::JsonGetParam param = json::decodeGetParams(query);
    GenericParser<json::JsonParser, ValueBaseStructParserStateMachine> parser;
    value = parser.parseFinal(param.request.data(), param.request.size(), error);
    callback = std::move(param.callback);
  } else {
    auto* sink = static_cast<ValueBaseDiskWriter<json::JsonParser>*>(httpServer_->getBody());
    value = sink->finalize(error);
  }
  if (error < 0 || !value) {
    QLOG_INFO(
        fmt("CUID#%lld - Failed to parse JSON-RPC request", static_cast<long long>(getCuid())));
    value.reset();
  }
  sendJsonRpcAnswer(processJsonRpcValue(value.get(), e_), callback);
}

void HttpServerBodyCommand::sendJsonRpcAnswer(const JsonRpcAnswer& answer,
                                              const std::string& callback) {
  std::string body = answer.encode(callback, httpServer_->useGZip());
  const char* contentType = callback.empty() ? "application/json-rpc" : "text/javascript";
  int status = 200;
  if (!answer.batch && answer.responses.front().code != 0) {
    httpServer_->disableKeepAlive();
    status = httpStatusFor(answer.responses.front().code);
  }
  httpServer_->feedResponse(status, "", std::move(body), contentType);
  addHttpServerResponseCommand(answer.unauthorized());
}

bool HttpServerBodyCommand::execute() {
  if (e_->isHaltRequested()) {
    return true;
  }
  try {
    if (socket_->isReadable(0) || (writeCheck_ && socket_->isWritable(0)) ||
        httpServer_->hasPendingInput() || httpServer_->getContentLength() == 0) {
      timeoutTimer_ = global::wallclock();
      if (!httpServer_->receiveBody()) {
        updateWriteCheck();
        e_->addCommand(std::unique_ptr<Command>(this));
        return false;
      }
      std::string query = httpServer_->createQuery();
      if (httpServer_->getMethod() == "OPTIONS") {
        answerOptions();
        return true;
      }
      switch (httpServer_->getRequestType()) {
        case HttpServer::RPC_TYPE_XML:
          answerXmlRpc();
          break;
        case HttpServer::RPC_TYPE_JSON:
        case HttpServer::RPC_TYPE_JSONP:
          answerJsonRpc(query);
          break;
        default:
          httpServer_->feedResponse(404, "", "", "");
          addHttpServerResponseCommand(false);
          break;
      }
      return true;
    }
    if (timeoutTimer_.difference(global::wallclock()) >= TIMEOUT) {
      QLOG_INFO("HTTP request body timeout.");
      return true;
    }
    e_->addCommand(std::unique_ptr<Command>(this));
    return false;
  } catch (RecoverableException& ex) {
    QLOG_INFO_EX(fmt("CUID#%lld - Error occurred while reading HTTP request body",
                     static_cast<long long>(getCuid())),
                 ex);
    return true;
  }
}

}  // namespace rpc
}  // namespace quarn
