#pragma once

#include <memory>
#include <string>
#include <vector>

#include "rpc/RpcResponse.h"

namespace quarn {

class Dict;
class DownloadEngine;
class ValueBase;

namespace rpc {

// Checks the envelope of one request object (id, method, params) and runs the
// method. "id" and "params" are taken out of the object.
RpcResponse processJsonRpcRequest(Dict* request, DownloadEngine* e);

// An envelope-level error; never treated as unauthorised.
RpcResponse createJsonRpcErrorResponse(int code, const std::string& message,
                                       std::unique_ptr<ValueBase> id);

// The answer to one parsed JSON-RPC text: a single response, or a batch.
struct JsonRpcAnswer {
  bool batch = false;
  std::vector<RpcResponse> responses;

  // Whether some call failed its token check (the answer is then held back).
  bool unauthorized() const;
  std::string encode(const std::string& callback, bool gzip) const;
};

// Runs a parsed text: an object is one call, an array a batch of the objects
// in it (other elements get no answer), anything else -32600; null (the text
// did not parse) is -32700. Within a batch, once a call fails its token check
// the later calls are refused without comparing their tokens.
JsonRpcAnswer processJsonRpcValue(ValueBase* value, DownloadEngine* e);

}  // namespace rpc
}  // namespace quarn
