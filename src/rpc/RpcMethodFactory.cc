#include "rpc/RpcMethodFactory.h"

#include <functional>
#include <map>
#include <memory>

#include "rpc/download_control_methods.h"
#include "rpc/status_methods.h"
#include "rpc/system_methods.h"

namespace quarn {
namespace rpc {

namespace {

using Maker = std::unique_ptr<RpcMethod> (*)();

template <typename T>
std::unique_ptr<RpcMethod> make() {
  return std::make_unique<T>();
}

struct MethodEntry {
  const char* name;
  Maker maker;
};

// The table of every method, in the order system.listMethods reports.
const MethodEntry METHODS[] = {
    {"quarn.addUri", make<AddUriRpcMethod>},
    {"quarn.addTorrent", make<AddTorrentRpcMethod>},
    {"quarn.getPeers", make<GetPeersRpcMethod>},
    {"quarn.addMetalink", make<AddMetalinkRpcMethod>},
    {"quarn.remove", make<RemoveRpcMethod>},
    {"quarn.pause", make<PauseRpcMethod>},
    {"quarn.forcePause", make<ForcePauseRpcMethod>},
    {"quarn.pauseAll", make<PauseAllRpcMethod>},
    {"quarn.forcePauseAll", make<ForcePauseAllRpcMethod>},
    {"quarn.unpause", make<UnpauseRpcMethod>},
    {"quarn.unpauseAll", make<UnpauseAllRpcMethod>},
    {"quarn.forceRemove", make<ForceRemoveRpcMethod>},
    {"quarn.changePosition", make<ChangePositionRpcMethod>},
    {"quarn.tellStatus", make<TellStatusRpcMethod>},
    {"quarn.getUris", make<GetUrisRpcMethod>},
    {"quarn.getFiles", make<GetFilesRpcMethod>},
    {"quarn.getServers", make<GetServersRpcMethod>},
    {"quarn.tellActive", make<TellActiveRpcMethod>},
    {"quarn.tellWaiting", make<TellWaitingRpcMethod>},
    {"quarn.tellStopped", make<TellStoppedRpcMethod>},
    {"quarn.getOption", make<GetOptionRpcMethod>},
    {"quarn.changeUri", make<ChangeUriRpcMethod>},
    {"quarn.changeOption", make<ChangeOptionRpcMethod>},
    {"quarn.getGlobalOption", make<GetGlobalOptionRpcMethod>},
    {"quarn.changeGlobalOption", make<ChangeGlobalOptionRpcMethod>},
    {"quarn.purgeDownloadResult", make<PurgeDownloadResultRpcMethod>},
    {"quarn.removeDownloadResult", make<RemoveDownloadResultRpcMethod>},
    {"quarn.getVersion", make<GetVersionRpcMethod>},
    {"quarn.getSessionInfo", make<GetSessionInfoRpcMethod>},
    {"quarn.shutdown", make<ShutdownRpcMethod>},
    {"quarn.forceShutdown", make<ForceShutdownRpcMethod>},
    {"quarn.getGlobalStat", make<GetGlobalStatRpcMethod>},
    {"quarn.saveSession", make<SaveSessionRpcMethod>},
    {"system.multicall", make<SystemMulticallRpcMethod>},
    {"system.listMethods", make<SystemListMethodsRpcMethod>},
    {"system.listNotifications", make<SystemListNotificationsRpcMethod>},
};

// Method objects keep no per-call state, so one of each serves the process.
std::map<std::string, std::unique_ptr<RpcMethod>, std::less<>>& cache() {
  static std::map<std::string, std::unique_ptr<RpcMethod>, std::less<>> methods;
  return methods;
}

}  // namespace

RpcMethod& getMethod(const std::string& name) {
  auto& methods = cache();
  if (auto it = methods.find(name); it != methods.end()) {
    return *it->second;
  }
  for (const auto& entry : METHODS) {
    if (name == entry.name) {
      return *methods.emplace(name, entry.maker()).first->second;
    }
  }
  static NoSuchMethodRpcMethod noSuchMethod;
  return noSuchMethod;
}

const std::vector<std::string>& allMethodNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const auto& entry : METHODS) {
      v.emplace_back(entry.name);
    }
    return v;
  }();
  return names;
}

const std::vector<std::string>& allNotificationsNames() {
  static const std::vector<std::string> names = {
      "quarn.onDownloadStart",    "quarn.onDownloadPause", "quarn.onDownloadStop",
      "quarn.onDownloadComplete", "quarn.onDownloadError", "quarn.onBtDownloadComplete"};
  return names;
}

}  // namespace rpc
}  // namespace quarn
