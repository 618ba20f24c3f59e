#include "rpc/system_methods.h"

#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/List.h"
#include "foundation/String.h"
#include "rpc/RpcMethodFactory.h"
#include "rpc/rpc_helper.h"

namespace quarn {
namespace rpc {

namespace {

std::unique_ptr<List> nameList(const std::vector<std::string>& names) {
  auto list = List::g();
  for (const auto& name : names) {
    list->append(name);
  }
  return list;
}

std::unique_ptr<Dict> errorFor(const char* message, const RpcRequest& req) {
  return RpcMethod::createErrorResponse(DL_ABORT_EX(message), req);
}

}  // namespace

RpcResponse SystemMulticallRpcMethod::execute(RpcRequest req, DownloadEngine* e) {
  const List* calls;
  try {
    calls = checkParam<List>(req, 0, true);
  } catch (RecoverableException& ex) {
    return RpcResponse(1, RpcResponse::AUTHORIZED, createErrorResponse(ex, req), std::move(req.id));
  }
  auto results = List::g();
  bool refused = false;
  for (const auto& element : *calls) {
    Dict* call = valueAs<Dict>(element.get());
    if (!call) {
      results->append(errorFor("system.multicall expected struct.", req));
      continue;
    }
    const String* methodName = valueAs<String>(call->get("methodName"));
    if (!methodName) {
      results->append(errorFor("Missing methodName.", req));
      continue;
    }
    if (methodName->s() == "system.multicall") {
      results->append(errorFor("Recursive system.multicall forbidden.", req));
      continue;
    }
    if (refused) {
      results->append(errorFor("Unauthorized", req));
      continue;
    }
    std::unique_ptr<List> params;
    if (valueAs<List>(call->get("params"))) {
      params.reset(static_cast<List*>(call->popValue("params").release()));
    } else {
      params = List::g();
    }
    RpcRequest inner(methodName->s(), std::move(params), nullptr, req.jsonRpc);
    RpcResponse res = getMethod(methodName->s()).execute(std::move(inner), e);
    if (!res.authorized()) {
      refused = true;
    }
    if (res.code == 0) {
      auto wrapped = List::g();
      wrapped->append(std::move(res.param));
      results->append(std::move(wrapped));
    } else {
      results->append(std::move(res.param));
    }
  }
  return RpcResponse(0, refused ? RpcResponse::NOTAUTHORIZED : RpcResponse::AUTHORIZED,
                     std::move(results), std::move(req.id));
}

std::unique_ptr<ValueBase> SystemMulticallRpcMethod::process(const RpcRequest& /*req*/,
                                                             DownloadEngine* /*e*/) {
  return nullptr;
}

RpcResponse SystemListMethodsRpcMethod::execute(RpcRequest req, DownloadEngine* e) {
  return RpcResponse(0, RpcResponse::AUTHORIZED, process(req, e), std::move(req.id));
}

std::unique_ptr<ValueBase> SystemListMethodsRpcMethod::process(const RpcRequest& /*req*/,
                                                               DownloadEngine* /*e*/) {
  return nameList(allMethodNames());
}

RpcResponse SystemListNotificationsRpcMethod::execute(RpcRequest req, DownloadEngine* e) {
  return RpcResponse(0, RpcResponse::AUTHORIZED, process(req, e), std::move(req.id));
}

std::unique_ptr<ValueBase> SystemListNotificationsRpcMethod::process(const RpcRequest& /*req*/,
                                                                     DownloadEngine* /*e*/) {
  return nameList(allNotificationsNames());
}

std::unique_ptr<ValueBase> NoSuchMethodRpcMethod::process(const RpcRequest& req,
                                                          DownloadEngine* /*e*/) {
  throw DL_ABORT_EX(fmt("No such method: %s", req.methodName.c_str()));
}

}  // namespace rpc
}  // namespace quarn
