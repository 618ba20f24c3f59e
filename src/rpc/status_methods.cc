#include "rpc/status_methods.h"

#include <algorithm>

#include "bittorrent/BtObject.h"
#include "config/Option.h"
#include "config/OptionHandler.h"
#include "config/OptionParser.h"
#include "config/feature_config.h"
#include "config/prefs.h"
#include "config/version.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadResult.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/String.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"
#include "rpc/torrent_status.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PeerStat.h"
#include "storage/PieceStorage.h"
#include "storage/Request.h"
#include "storage/TransferStat.h"

namespace quarn {
namespace rpc {

namespace {

const char* waitingStatus(const RequestGroup& group) {
  return group.isPauseRequested() ? "paused" : "waiting";
}

std::vector<std::string> keyFilter(const RpcRequest& req, size_t index) {
  std::vector<std::string> keys;
  toStringList(keys, checkParam<List>(req, index));
  return keys;
}

GroupId::gid_t gidParam(const RpcRequest& req) {
  return str2Gid(checkParam<String>(req, 0, true));
}

// Every option set in opt (or its parents) that the user may see, and when
// perDownload, only those a download can carry.
std::unique_ptr<Dict> pushOptions(const OptionParser& parser, const Option& opt, bool perDownload) {
  auto result = Dict::g();
  for (size_t id = 1; id < option::countOption(); ++id) {
    const Pref* pref = option::i2p(id);
    if (!perDownload && pref == PREF_RPC_SECRET) {
      continue;
    }
    const OptionHandler* handler = parser.find(pref);
    if (!handler || (perDownload && !handler->getInitialOption()) || !opt.defined(pref)) {
      continue;
    }
    result->put(pref->k, opt.get(pref));
  }
  return result;
}

}  // namespace

std::unique_ptr<ValueBase> TellStatusRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  GroupId::gid_t gid = gidParam(req);
  std::vector<std::string> keys = keyFilter(req, 1);
  RequestGroupMan* rgman = e->getRequestGroupMan();
  auto entry = Dict::g();
  if (auto group = rgman->findGroup(gid)) {
    if (requestedKey(keys, "status")) {
      entry->put("status", rgman->getRequestGroups().get(gid) ? "active" : waitingStatus(*group));
    }
    gatherProgress(entry.get(), group, e, keys);
  } else if (auto ds = rgman->findDownloadResult(gid)) {
    gatherStoppedDownload(entry.get(), ds, keys);
  } else {
    throw DL_ABORT_EX(fmt("No such download for GID#%s", GroupId::toHex(gid).c_str()));
  }
  return entry;
}

std::unique_ptr<ValueBase> TellActiveRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  std::vector<std::string> keys = keyFilter(req, 0);
  auto list = List::g();
  for (const auto& [gid, group] : e->getRequestGroupMan()->getRequestGroups()) {
    auto entry = Dict::g();
    if (requestedKey(keys, "status")) {
      entry->put("status", "active");
    }
    gatherProgress(entry.get(), group, e, keys);
    list->append(std::move(entry));
  }
  return list;
}

TellWaitingRpcMethod::ItemList TellWaitingRpcMethod::getItems(DownloadEngine* e) const {
  ItemList items;
  for (const auto& [gid, group] : e->getRequestGroupMan()->getReservedGroups()) {
    items.push_back(group);
  }
  return items;
}

void TellWaitingRpcMethod::createEntry(Dict* entry, const std::shared_ptr<RequestGroup>& item,
                                       DownloadEngine* e,
                                       const std::vector<std::string>& keys) const {
  if (requestedKey(keys, "status")) {
    entry->put("status", waitingStatus(*item));
  }
  gatherProgress(entry, item, e, keys);
}

TellStoppedRpcMethod::ItemList TellStoppedRpcMethod::getItems(DownloadEngine* e) const {
  ItemList items;
  for (const auto& [gid, result] : e->getRequestGroupMan()->getDownloadResults()) {
    items.push_back(result);
  }
  return items;
}

void TellStoppedRpcMethod::createEntry(Dict* entry, const std::shared_ptr<DownloadResult>& item,
                                       DownloadEngine* /*e*/,
                                       const std::vector<std::string>& keys) const {
  gatherStoppedDownload(entry, item, keys);
}

std::unique_ptr<ValueBase> GetFilesRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  GroupId::gid_t gid = gidParam(req);
  RequestGroupMan* rgman = e->getRequestGroupMan();
  auto files = List::g();
  if (auto group = rgman->findGroup(gid)) {
    const auto& dctx = group->getDownloadContext();
    std::string bitfield;
    if (const auto& ps = group->getPieceStorage(); ps && ps->getBitfieldLength() > 0) {
      bitfield.assign(reinterpret_cast<const char*>(ps->getBitfield()), ps->getBitfieldLength());
    }
    createFileEntry(files.get(), dctx->getFileEntries(), dctx->getTotalLength(),
                    dctx->getPieceLength(), bitfield);
  } else if (auto ds = rgman->findDownloadResult(gid)) {
    createFileEntry(files.get(), ds->fileEntries, ds->totalLength, ds->pieceLength, ds->bitfield);
  } else {
    throw DL_ABORT_EX(fmt("No file data is available for GID#%s", GroupId::toHex(gid).c_str()));
  }
  return files;
}

std::unique_ptr<ValueBase> GetUrisRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  GroupId::gid_t gid = gidParam(req);
  auto group = e->getRequestGroupMan()->findGroup(gid);
  if (!group) {
    throw DL_ABORT_EX(fmt("No URI data is available for GID#%s", GroupId::toHex(gid).c_str()));
  }
  auto uris = List::g();
  const auto& files = group->getDownloadContext()->getFileEntries();
  if (!files.empty()) {
    createUriEntry(uris.get(), files.front());
  }
  return uris;
}

std::unique_ptr<ValueBase> GetPeersRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  GroupId::gid_t gid = gidParam(req);
  if (!e->getRequestGroupMan()->findGroup(gid)) {
    throw DL_ABORT_EX(fmt("No peer data is available for GID#%s", GroupId::toHex(gid).c_str()));
  }
  auto peers = List::g();
  // Only a running torrent has peers.
  if (const BtObject* bt = findBtObject(e, gid)) {
    createPeerEntries(peers.get(), *bt);
  }
  return peers;
}

std::unique_ptr<ValueBase> GetServersRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  GroupId::gid_t gid = gidParam(req);
  auto group = e->getRequestGroupMan()->getRequestGroups().get(gid);
  if (!group) {
    throw DL_ABORT_EX(fmt("No active download for GID#%s", GroupId::toHex(gid).c_str()));
  }
  auto result = List::g();
  size_t index = 1;
  for (const auto& fe : group->getDownloadContext()->getFileEntries()) {
    auto entry = Dict::g();
    entry->put("index", util::uitos(index++));
    auto servers = List::g();
    for (const auto& request : fe->getInFlightRequests()) {
      const auto& peerStat = request->getPeerStat();
      if (!peerStat) {
        continue;
      }
      auto server = Dict::g();
      server->put("uri", request->getUri());
      server->put("currentUri", request->getCurrentUri());
      server->put("downloadSpeed", util::itos(peerStat->calculateDownloadSpeed()));
      servers->append(std::move(server));
    }
    entry->put("servers", std::move(servers));
    result->append(std::move(entry));
  }
  return result;
}

std::unique_ptr<ValueBase> GetOptionRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  GroupId::gid_t gid = gidParam(req);
  RequestGroupMan* rgman = e->getRequestGroupMan();
  std::shared_ptr<Option> option;
  if (auto group = rgman->findGroup(gid)) {
    option = group->getOption();
  } else if (auto ds = rgman->findDownloadResult(gid)) {
    option = ds->option;
  }
  if (!option) {
    throw DL_ABORT_EX(fmt("Cannot get option for GID#%s", GroupId::toHex(gid).c_str()));
  }
  return pushOptions(*getOptionParser(), *option, true);
}

std::unique_ptr<ValueBase> GetGlobalOptionRpcMethod::process(const RpcRequest& /*req*/,
                                                             DownloadEngine* e) {
  return pushOptions(*getOptionParser(), *e->getOption(), false);
}

std::unique_ptr<ValueBase> GetGlobalStatRpcMethod::process(const RpcRequest& /*req*/,
                                                           DownloadEngine* e) {
  RequestGroupMan* rgman = e->getRequestGroupMan();
  TransferStat stat = rgman->calculateStat();
  auto result = Dict::g();
  result->put("downloadSpeed", util::itos(stat.downloadSpeed));
  result->put("uploadSpeed", util::itos(stat.uploadSpeed));
  result->put("numActive", util::uitos(rgman->getRequestGroups().size()));
  result->put("numWaiting", util::uitos(rgman->getReservedGroups().size()));
  result->put("numStopped", util::uitos(rgman->getDownloadResults().size()));
  result->put("numStoppedTotal", util::uitos(rgman->getNumStoppedTotal()));
  return result;
}

std::unique_ptr<ValueBase> GetVersionRpcMethod::process(const RpcRequest& /*req*/,
                                                        DownloadEngine* /*e*/) {
  auto result = Dict::g();
  result->put("version", PACKAGE_VERSION);
  auto features = List::g();
  for (int i = 0; i < 9; ++i) {
    if (const char* name = strSupportedFeature(i)) {
      features->append(name);
    }
  }
  result->put("enabledFeatures", std::move(features));
  return result;
}

std::unique_ptr<ValueBase> GetSessionInfoRpcMethod::process(const RpcRequest& /*req*/,
                                                            DownloadEngine* e) {
  auto result = Dict::g();
  result->put("sessionId", util::toHex(e->getSessionId()));
  return result;
}

std::unique_ptr<ValueBase> ChangePositionRpcMethod::process(const RpcRequest& req,
                                                            DownloadEngine* e) {
  GroupId::gid_t gid = gidParam(req);
  const Integer* pos = checkParam<Integer>(req, 1, true);
  const String* how = checkParam<String>(req, 2, true);
  OffsetMode mode;
  if (how->s() == "POS_SET") {
    mode = OFFSET_MODE_SET;
  } else if (how->s() == "POS_CUR") {
    mode = OFFSET_MODE_CUR;
  } else if (how->s() == "POS_END") {
    mode = OFFSET_MODE_END;
  } else {
    throw DL_ABORT_EX("Illegal argument.");
  }
  RequestGroupMan* rgman = e->getRequestGroupMan();
  // Clamped in 64 bits first: a move never needs more than the queue's
  // length, and "current index + pos" cannot overflow afterwards.
  const auto size = static_cast<int64_t>(rgman->getReservedGroups().size());
  int64_t offset = std::clamp<int64_t>(pos->i(), -size, size);
  return Integer::g(static_cast<int64_t>(
      rgman->changeReservedGroupPosition(gid, static_cast<ssize_t>(offset), mode)));
}

}  // namespace rpc
}  // namespace quarn
