#include "rpc/json_rpc.h"

#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/LogMacros.h"
#include "foundation/Null.h"
#include "foundation/String.h"
#include "foundation/fmt.h"
#include "rpc/RpcMethod.h"
#include "rpc/RpcMethodFactory.h"

namespace quarn {
namespace rpc {

namespace {

// With refuse set the method is not run: the call is answered as unauthorised.
RpcResponse processRequest(Dict* request, DownloadEngine* e, bool refuse) {
  std::unique_ptr<ValueBase> id = request->popValue("id");
  if (!id) {
    return createJsonRpcErrorResponse(-32600, "Invalid Request.", std::make_unique<Null>());
  }
  const String* methodName = valueAs<String>(request->get("method"));
  if (!methodName) {
    return createJsonRpcErrorResponse(-32600, "Invalid Request.", std::move(id));
  }
  std::unique_ptr<List> params;
  if (!request->containsKey("params")) {
    params = List::g();
  } else if (valueAs<List>(request->get("params"))) {
    params.reset(static_cast<List*>(request->popValue("params").release()));
  } else {
    return createJsonRpcErrorResponse(-32602, "Invalid params.", std::move(id));
  }
  RpcRequest req(methodName->s(), std::move(params), std::move(id), true);
  if (refuse) {
    return RpcResponse(1, RpcResponse::NOTAUTHORIZED,
                       RpcMethod::createErrorResponse(DL_ABORT_EX("Unauthorized"), req),
                       std::move(req.id));
  }
  QLOG_INFO(fmt("Executing RPC method %s", req.methodName.c_str()));
  return getMethod(req.methodName).execute(std::move(req), e);
}

}  // namespace

RpcResponse processJsonRpcRequest(Dict* request, DownloadEngine* e) {
  return processRequest(request, e, false);
}

RpcResponse createJsonRpcErrorResponse(int code, const std::string& message,
                                       std::unique_ptr<ValueBase> id) {
  auto params = Dict::g();
  params->put("code", Integer::g(code));
  params->put("message", message);
  return RpcResponse(code, RpcResponse::AUTHORIZED, std::move(params), std::move(id));
}

bool JsonRpcAnswer::unauthorized() const {
  for (const auto& r : responses) {
    if (!r.authorized()) {
      return true;
    }
  }
  return false;
}

std::string JsonRpcAnswer::encode(const std::string& callback, bool gzip) const {
  if (batch) {
    return toJsonBatch(responses, callback, gzip);
  }
  return toJson(responses.front(), callback, gzip);
}

JsonRpcAnswer processJsonRpcValue(ValueBase* value, DownloadEngine* e) {
  JsonRpcAnswer answer;
  if (!value) {
    answer.responses.push_back(
        createJsonRpcErrorResponse(-32700, "Parse error.", std::make_unique<Null>()));
  } else if (Dict* request = valueAs<Dict>(value)) {
    answer.responses.push_back(processJsonRpcRequest(request, e));
  } else if (List* list = valueAs<List>(value)) {
    answer.batch = true;
    bool refuse = false;
    for (const auto& element : *list) {
      if (Dict* request = valueAs<Dict>(element.get())) {
        answer.responses.push_back(processRequest(request, e, refuse));
        refuse = refuse || !answer.responses.back().authorized();
      }
    }
  } else {
    answer.responses.push_back(
        createJsonRpcErrorResponse(-32600, "Invalid Request.", std::make_unique<Null>()));
  }
  return answer;
}

}  // namespace rpc
}  // namespace quarn
