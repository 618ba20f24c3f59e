#pragma once

#include <memory>

#include "rpc/RpcMethod.h"

namespace quarn {

class RequestGroup;

namespace rpc {

// The methods that add, stop, resume and change downloads, and stop the
// program. Each answers through RpcMethod::execute.

QUARN_RPC_METHOD(AddUriRpcMethod);

QUARN_RPC_METHOD(AddTorrentRpcMethod);

// Answers the gids of every download the Metalink data makes, in order; an
// empty list when it makes none.
QUARN_RPC_METHOD(AddMetalinkRpcMethod);

class RemoveRpcMethod : public RpcMethod {
 public:
  explicit RemoveRpcMethod(bool force = false) : force_(force) {}

 protected:
  std::unique_ptr<ValueBase> process(const RpcRequest& req, DownloadEngine* e) override;

 private:
  bool force_;
};

class ForceRemoveRpcMethod : public RemoveRpcMethod {
 public:
  ForceRemoveRpcMethod() : RemoveRpcMethod(true) {}
};

class PauseRpcMethod : public RpcMethod {
 public:
  explicit PauseRpcMethod(bool force = false) : force_(force) {}

 protected:
  std::unique_ptr<ValueBase> process(const RpcRequest& req, DownloadEngine* e) override;

 private:
  bool force_;
};

class ForcePauseRpcMethod : public PauseRpcMethod {
 public:
  ForcePauseRpcMethod() : PauseRpcMethod(true) {}
};

class PauseAllRpcMethod : public RpcMethod {
 public:
  explicit PauseAllRpcMethod(bool force = false) : force_(force) {}

 protected:
  std::unique_ptr<ValueBase> process(const RpcRequest& req, DownloadEngine* e) override;

 private:
  bool force_;
};

class ForcePauseAllRpcMethod : public PauseAllRpcMethod {
 public:
  ForcePauseAllRpcMethod() : PauseAllRpcMethod(true) {}
};

QUARN_RPC_METHOD(UnpauseRpcMethod);

QUARN_RPC_METHOD(UnpauseAllRpcMethod);

QUARN_RPC_METHOD(ChangeUriRpcMethod);

QUARN_RPC_METHOD(ChangeOptionRpcMethod);

QUARN_RPC_METHOD(ChangeGlobalOptionRpcMethod);

QUARN_RPC_METHOD(PurgeDownloadResultRpcMethod);

QUARN_RPC_METHOD(RemoveDownloadResultRpcMethod);

class ShutdownRpcMethod : public RpcMethod {
 public:
  explicit ShutdownRpcMethod(bool force = false) : force_(force) {}

 protected:
  std::unique_ptr<ValueBase> process(const RpcRequest& req, DownloadEngine* e) override;

 private:
  bool force_;
};

class ForceShutdownRpcMethod : public ShutdownRpcMethod {
 public:
  ForceShutdownRpcMethod() : ShutdownRpcMethod(true) {}
};

QUARN_RPC_METHOD(SaveSessionRpcMethod);

// Asks a download to pause: reserved says it is waiting, forcePause stops its
// connections at once. False when it cannot be paused (now).
bool pauseRequestGroup(const std::shared_ptr<RequestGroup>& group, bool reserved, bool forcePause);

}  // namespace rpc
}  // namespace quarn
