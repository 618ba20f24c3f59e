#pragma once

#include <memory>
#include <string>

#include "foundation/List.h"
#include "foundation/ValueBase.h"

namespace quarn {
namespace rpc {

// One remote call, whichever transport carried it.
struct RpcRequest {
  std::string methodName;
  // Never null once a transport built the request; authorisation removes a
  // leading token from it.
  std::unique_ptr<List> params;
  // The JSON-RPC id given back in the answer; null for XML-RPC and for calls
  // inside a multicall.
  std::unique_ptr<ValueBase> id;
  // Decides the error member names and how byte strings are passed.
  bool jsonRpc = false;

  RpcRequest() = default;
  RpcRequest(std::string methodName, std::unique_ptr<List> params)
      : methodName(std::move(methodName)), params(std::move(params)) {}
  RpcRequest(std::string methodName, std::unique_ptr<List> params, std::unique_ptr<ValueBase> id,
             bool jsonRpc)
      : methodName(std::move(methodName)),
        params(std::move(params)),
        id(std::move(id)),
        jsonRpc(jsonRpc) {}
  RpcRequest(RpcRequest&&) = default;
  RpcRequest& operator=(RpcRequest&&) = default;
};

}  // namespace rpc
}  // namespace quarn
