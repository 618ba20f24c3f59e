#pragma once

#include <string>

#include "rpc/RpcMethod.h"

namespace quarn {
namespace rpc {

// Runs a list of calls in one request. Once one of them fails its token
// check, the rest are refused without being compared, so that one request
// cannot try many guesses for the price of one delay.
class SystemMulticallRpcMethod : public RpcMethod {
 public:
  RpcResponse execute(RpcRequest req, DownloadEngine* e) override;

 protected:
  std::unique_ptr<ValueBase> process(const RpcRequest& req, DownloadEngine* e) override;
};

// The method names, without a token check.
class SystemListMethodsRpcMethod : public RpcMethod {
 public:
  RpcResponse execute(RpcRequest req, DownloadEngine* e) override;

 protected:
  std::unique_ptr<ValueBase> process(const RpcRequest& req, DownloadEngine* e) override;
};

// The notification names, without a token check.
class SystemListNotificationsRpcMethod : public RpcMethod {
 public:
  RpcResponse execute(RpcRequest req, DownloadEngine* e) override;

 protected:
  std::unique_ptr<ValueBase> process(const RpcRequest& req, DownloadEngine* e) override;
};

// What every unknown name gets (after the token check).
class NoSuchMethodRpcMethod : public RpcMethod {
 protected:
  std::unique_ptr<ValueBase> process(const RpcRequest& req, DownloadEngine* e) override;
};

}  // namespace rpc
}  // namespace quarn
