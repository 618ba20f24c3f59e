#pragma once

#include <memory>

#include "rpc/RpcRequest.h"
#include "rpc/RpcResponse.h"

namespace quarn {

class Dict;
class DownloadEngine;
class Exception;
class Option;
class OptionParser;

namespace rpc {

// One remote method. A single instance per class serves every call; it keeps
// no per-call state.
class RpcMethod {
 public:
  RpcMethod();
  virtual ~RpcMethod();
  RpcMethod(const RpcMethod&) = delete;
  RpcMethod& operator=(const RpcMethod&) = delete;

  // Checks the token, then runs the method; every recoverable failure becomes
  // an error answer with code 1.
  virtual RpcResponse execute(RpcRequest req, DownloadEngine* e);

  // Takes a leading "token:..." parameter off the request and checks it;
  // raises "Unauthorized".
  virtual void authorize(RpcRequest& req, DownloadEngine* e);

  // {"code":1,"message":...} for JSON-RPC, {"faultCode":1,"faultString":...}
  // for XML-RPC.
  static std::unique_ptr<Dict> createErrorResponse(const Exception& ex, const RpcRequest& req);

 protected:
  virtual std::unique_ptr<ValueBase> process(const RpcRequest& req, DownloadEngine* e) = 0;

  // Copy the options of a parameter structure into Options, each taking only
  // the options its flag allows. A null dict does nothing.
  void gatherRequestOption(Option* opt, const Dict* d) const;
  void gatherChangeableOption(Option* opt, Option* pending, const Dict* d) const;
  void gatherChangeableOptionForReserved(Option* opt, const Dict* d) const;
  void gatherChangeableGlobalOption(Option* opt, const Dict* d) const;

  const std::shared_ptr<OptionParser>& getOptionParser() const { return optionParser_; }

 private:
  std::shared_ptr<OptionParser> optionParser_;
};

// Declares a method class that only has its own process().
#define QUARN_RPC_METHOD(Name)                                                             \
  class Name : public RpcMethod {                                                          \
   protected:                                                                              \
    std::unique_ptr<ValueBase> process(const RpcRequest& req, DownloadEngine* e) override; \
  }

}  // namespace rpc
}  // namespace quarn
