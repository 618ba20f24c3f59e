#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Dict.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "rpc/RpcMethod.h"
#include "rpc/rpc_helper.h"
#include "rpc/status_builders.h"

namespace quarn {
namespace rpc {

// The methods that report on downloads and on the process, and the one that
// reorders the waiting queue.

QUARN_RPC_METHOD(TellStatusRpcMethod);
QUARN_RPC_METHOD(TellActiveRpcMethod);
QUARN_RPC_METHOD(GetFilesRpcMethod);
QUARN_RPC_METHOD(GetUrisRpcMethod);
QUARN_RPC_METHOD(GetPeersRpcMethod);
QUARN_RPC_METHOD(GetServersRpcMethod);
QUARN_RPC_METHOD(GetOptionRpcMethod);
QUARN_RPC_METHOD(GetGlobalOptionRpcMethod);
QUARN_RPC_METHOD(GetGlobalStatRpcMethod);
QUARN_RPC_METHOD(GetVersionRpcMethod);
QUARN_RPC_METHOD(GetSessionInfoRpcMethod);
QUARN_RPC_METHOD(ChangePositionRpcMethod);

// A page of a list (offset, num, key filter); a negative offset counts from
// the end and gives the page backwards.
template <typename T>
class AbstractPaginationRpcMethod : public RpcMethod {
 protected:
  using ItemList = std::vector<std::shared_ptr<T>>;

  virtual ItemList getItems(DownloadEngine* e) const = 0;
  virtual void createEntry(Dict* entry, const std::shared_ptr<T>& item, DownloadEngine* e,
                           const std::vector<std::string>& keys) const = 0;

  std::unique_ptr<ValueBase> process(const RpcRequest& req, DownloadEngine* e) override {
    const Integer* offset = checkParam<Integer>(req, 0, true);
    const Integer* num = checkRequiredInteger(req, 1, IntegerGE(0));
    std::vector<std::string> keys;
    toStringList(keys, checkParam<List>(req, 2));
    ItemList items = getItems(e);
    auto [first, last] = getPaginationRange(offset->i(), num->i(), items.size());
    auto list = List::g();
    std::vector<std::unique_ptr<Dict>> entries;
    for (size_t i = first; i < last; ++i) {
      auto entry = Dict::g();
      createEntry(entry.get(), items[i], e, keys);
      entries.push_back(std::move(entry));
    }
    if (offset->i() < 0) {
      std::reverse(entries.begin(), entries.end());
    }
    for (auto& entry : entries) {
      list->append(std::move(entry));
    }
    return list;
  }
};

class TellWaitingRpcMethod : public AbstractPaginationRpcMethod<RequestGroup> {
 protected:
  ItemList getItems(DownloadEngine* e) const override;
  void createEntry(Dict* entry, const std::shared_ptr<RequestGroup>& item, DownloadEngine* e,
                   const std::vector<std::string>& keys) const override;
};

class TellStoppedRpcMethod : public AbstractPaginationRpcMethod<DownloadResult> {
 protected:
  ItemList getItems(DownloadEngine* e) const override;
  void createEntry(Dict* entry, const std::shared_ptr<DownloadResult>& item, DownloadEngine* e,
                   const std::vector<std::string>& keys) const override;
};

}  // namespace rpc
}  // namespace quarn
