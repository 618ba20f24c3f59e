#include "rpc/HttpServerBodyCommand.h"

#include "engine/DownloadEngine.h"
#include "engine/ValueBaseDiskWriter.h"
#include "foundation/GenericParser.h"
#include "foundation/JsonParser.h"
#include "foundation/LogMacros.h"
#include "foundation/ValueBaseStructParserStateMachine.h"
#include "foundation/fmt.h"
#include "foundation/json.h"
#include "net/HttpHeader.h"
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
    : AbstractHttpServerReadCommand(cuid, httpServer, e, socket) {
  setStatus(Command::STATUS_ONESHOT_REALTIME);
  checkPendingInput();
}

bool HttpServerBodyCommand::readyWithoutInput() const {
  return server().getContentLength() == 0;
}

void HttpServerBodyCommand::addHttpServerResponseCommand(bool delayed) {
  DownloadEngine* e = getDownloadEngine();
  auto command =
      std::make_unique<HttpServerResponseCommand>(getCuid(), getHttpServer(), e, getSocket());
  if (delayed) {
    e->addCommand(std::make_unique<DelayedCommand>(getCuid(), e, std::chrono::seconds(1),
                                                   std::move(command), true));
  } else {
    e->addCommand(std::move(command));
    e->setNoWait(true);
  }
}

void HttpServerBodyCommand::answerOptions() {
  const HttpHeader* header = server().getLastRequestHeader();
  std::string headers;
  if (!header->find(HttpHeader::ORIGIN).empty() &&
      !header->find(HttpHeader::ACCESS_CONTROL_REQUEST_METHOD).empty() &&
      !server().getAllowOrigin().empty()) {
    headers =
        "Access-Control-Allow-Methods: POST, GET, OPTIONS\r\n"
        "Access-Control-Max-Age: 1728000\r\n";
    const std::string& requestHeaders = header->find(HttpHeader::ACCESS_CONTROL_REQUEST_HEADERS);
    if (!requestHeaders.empty()) {
      headers += "Access-Control-Allow-Headers: " + requestHeaders + "\r\n";
    }
  }
  server().feedResponse(200, headers, "", "");
  addHttpServerResponseCommand(false);
}

void HttpServerBodyCommand::answerXmlRpc() {
  auto* sink = static_cast<XmlRpcDiskWriter*>(server().getBody());
  if (sink->finalize() != 0) {
    sink->reset();
    QLOG_INFO(
        fmt("CUID#%lld - Failed to parse XML-RPC request", static_cast<long long>(getCuid())));
    server().feedResponse(400, "", "", "");
    addHttpServerResponseCommand(false);
    return;
  }
  RpcRequest req = sink->getResult();
  sink->reset();
  QLOG_INFO(fmt("Executing RPC method %s", req.methodName.c_str()));
  RpcResponse res = getMethod(req.methodName).execute(std::move(req), getDownloadEngine());
  server().feedResponse(toXml(res, server().useGZip()), "text/xml");
  // Failed token checks are held back here too, so that XML-RPC is no faster
  // a way to guess the secret.
  addHttpServerResponseCommand(!res.authorized());
}

void HttpServerBodyCommand::answerJsonRpc(const std::string& query) {
  std::unique_ptr<ValueBase> value;
  std::string callback;
  ssize_t error = 0;
  if (server().getRequestType() == HttpServer::RPC_TYPE_JSONP) {
    json::JsonGetParam param = json::decodeGetParams(query);
    GenericParser<json::JsonParser, ValueBaseStructParserStateMachine> parser;
    value = parser.parseFinal(param.request.data(), param.request.size(), error);
    callback = std::move(param.callback);
  } else {
    auto* sink = static_cast<ValueBaseDiskWriter<json::JsonParser>*>(server().getBody());
    value = sink->finalize(error);
  }
  if (error < 0 || !value) {
    QLOG_INFO(
        fmt("CUID#%lld - Failed to parse JSON-RPC request", static_cast<long long>(getCuid())));
    value.reset();
  }
  sendJsonRpcAnswer(processJsonRpcValue(value.get(), getDownloadEngine()), callback);
}

void HttpServerBodyCommand::sendJsonRpcAnswer(const JsonRpcAnswer& answer,
                                              const std::string& callback) {
  std::string body = answer.encode(callback, server().useGZip());
  const char* contentType = callback.empty() ? "application/json-rpc" : "text/javascript";
  int status = 200;
  if (!answer.batch && answer.responses.front().code != 0) {
    server().disableKeepAlive();
    status = httpStatusFor(answer.responses.front().code);
  }
  server().feedResponse(status, "", std::move(body), contentType);
  addHttpServerResponseCommand(answer.unauthorized());
}

bool HttpServerBodyCommand::step() {
  if (!server().receiveBody()) {
    return false;
  }
  std::string query = server().createQuery();
  if (server().getMethod() == "OPTIONS") {
    answerOptions();
    return true;
  }
  switch (server().getRequestType()) {
    case HttpServer::RPC_TYPE_XML:
      answerXmlRpc();
      break;
    case HttpServer::RPC_TYPE_JSON:
    case HttpServer::RPC_TYPE_JSONP:
      answerJsonRpc(query);
      break;
    default:
      server().feedResponse(404, "", "", "");
      addHttpServerResponseCommand(false);
      break;
  }
  return true;
}

}  // namespace rpc
}  // namespace quarn
