#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foundation/ValueBase.h"

namespace quarn {
namespace rpc {

// The answer to one call: a result (code 0) or an error structure.
struct RpcResponse {
  // 1 when the token check passed or was not made, 0 when it failed; failed
  // answers are held back so that guessing the secret is slow.
  using authorization_t = int;
  enum { NOTAUTHORIZED = 0, AUTHORIZED = 1 };

  std::unique_ptr<ValueBase> param;
  std::unique_ptr<ValueBase> id;
  int32_t code;
  authorization_t authorization;

  RpcResponse(int32_t code, authorization_t authorization, std::unique_ptr<ValueBase> param,
              std::unique_ptr<ValueBase> id)
      : param(std::move(param)), id(std::move(id)), code(code), authorization(authorization) {}
  RpcResponse(RpcResponse&&) = default;
  RpcResponse& operator=(RpcResponse&&) = default;

  bool authorized() const { return authorization == AUTHORIZED; }
};

// The JSON-RPC 2.0 answer, wrapped as callback(...) for JSONP when the
// callback is not empty, gzip-compressed when asked.
std::string toJson(const RpcResponse& response, const std::string& callback, bool gzip);
std::string toJsonBatch(const std::vector<RpcResponse>& responses, const std::string& callback,
                        bool gzip);
// The XML-RPC methodResponse (the id is not used).
std::string toXml(const RpcResponse& response, bool gzip);

}  // namespace rpc
}  // namespace quarn
