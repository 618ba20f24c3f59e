#include "rpc/download_control_methods.h"

#include <algorithm>

#include "bittorrent/BtObject.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/bt_downloads.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "engine/SessionSerializer.h"
#include "engine/TimedHaltCommand.h"
#include "engine/download_helper.h"
#include "engine/option_change.h"
#include "foundation/Dict.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/LogMacros.h"
#include "foundation/MessageDigest.h"
#include "foundation/String.h"
#include "foundation/base64.h"
#include "foundation/bencode2.h"
#include "foundation/error_code.h"
#include "foundation/i18n.h"
#include "foundation/util_path.h"
#include "foundation/util_string.h"
#include "metalink/metalink_setup.h"
#include "rpc/rpc_helper.h"
#include "rpc/torrent_status.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/SegmentMan.h"

namespace quarn {
namespace rpc {

namespace {

std::shared_ptr<RequestGroup> findOrThrow(DownloadEngine* e, GroupId::gid_t gid,
                                          const char* format) {
  auto group = e->getRequestGroupMan()->findGroup(gid);
  if (!group) {
    throw DL_ABORT_EX(fmt(format, GroupId::toHex(gid).c_str()));
  }
  return group;
}

bool isWaiting(DownloadEngine* e, const std::shared_ptr<RequestGroup>& group) {
  return e->getRequestGroupMan()->getReservedGroups().get(group->getGID()) != nullptr;
}

// The optional position parameter, checked before anything is changed.
const Integer* positionParam(const RpcRequest& req, size_t index) {
  const Integer* pos = checkParam<Integer>(req, index);
  if (pos && pos->i() < 0) {
    throw DL_ABORT_EX("Position must be greater than or equal to 0.");
  }
  return pos;
}

void queueGroups(DownloadEngine* e, const std::vector<std::shared_ptr<RequestGroup>>& groups,
                 const Integer* pos) {
  RequestGroupMan* rgman = e->getRequestGroupMan();
  if (pos) {
    rgman->insertReservedGroup(clampPosition(pos->i(), rgman->getReservedGroups().size()), groups);
  } else {
    rgman->addReservedGroup(groups);
  }
}

// The bytes of uploaded metadata: JSON carries them as Base64 text, XML-RPC
// has already decoded its base64 element.
std::string uploadedData(const RpcRequest& req, const String& param) {
  if (!req.jsonRpc) {
    return param.s();
  }
  return base64::decode(param.s().begin(), param.s().end());
}

// Named by the data's SHA-1 so that the same upload lands in the same file.
std::string uploadFileName(const std::string& data, const Option& option,
                           const std::string& suffix) {
  auto sha1 = MessageDigest::sha1();
  sha1->update(data.data(), data.size());
  return util::applyDir(option.get(PREF_DIR), util::toHex(sha1->digest()) + suffix);
}

// The path the data was saved to, or empty when it could not be written.
std::string saveUploadedMetadata(const std::string& data, const Option& option,
                                 const std::string& suffix) {
  std::string path = uploadFileName(data, option, suffix);
  return util::saveAs(path, data, true) ? path : std::string();
}

// The peer limit lives in the torrent's runtime, which only a running torrent
// has; a torrent that starts later reads it from its options.
void applyMaxPeers(DownloadEngine* e, GroupId::gid_t gid, const Option& option) {
  if (!option.defined(PREF_BT_MAX_PEERS)) {
    return;
  }
  BtObject* bt = findBtObject(e, gid);
  if (bt && bt->btRuntime) {
    bt->btRuntime->setMaxPeers(option.getAsInt(PREF_BT_MAX_PEERS));
  }
}

}  // namespace

bool pauseRequestGroup(const std::shared_ptr<RequestGroup>& group, bool reserved, bool forcePause) {
  if (reserved) {
    if (group->isPauseRequested()) {
      return false;
    }
    group->setPauseRequested(true);
    return true;
  }
  if (group->isForceHaltRequested()) {
    return false;
  }
  if (!forcePause) {
    if (group->isHaltRequested() || group->isPauseRequested()) {
      return false;
    }
    group->setHaltRequested(true, RequestGroup::NONE);
    group->setPauseRequested(true);
    return true;
  }
  if (group->isHaltRequested()) {
    // A pause in progress becomes a forced one. Asking to halt drops the
    // pause request, so it is made again.
    if (!group->isPauseRequested()) {
      return false;
    }
    group->setForceHaltRequested(true, RequestGroup::NONE);
    group->setPauseRequested(true);
    return true;
  }
  if (group->isPauseRequested()) {
    return false;
  }
  group->setForceHaltRequested(true, RequestGroup::NONE);
  group->setPauseRequested(true);
  return true;
}

std::unique_ptr<ValueBase> AddUriRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  const List* urisParam = checkParam<List>(req, 0, true);
  const Dict* optsParam = checkParam<Dict>(req, 1);
  const Integer* pos = positionParam(req, 2);
  std::vector<std::string> uris;
  toStringList(uris, urisParam);
  if (uris.empty()) {
    throw DL_ABORT_EX("URI is not provided.");
  }
  auto requestOption = std::make_shared<Option>(*e->getOption());
  gatherRequestOption(requestOption.get(), optsParam);
  std::vector<std::shared_ptr<RequestGroup>> groups;
  createRequestGroupForUri(groups, requestOption, uris, true, true, false);
  if (groups.empty()) {
    throw DL_ABORT_EX("No URI to download.");
  }
  groups.resize(1);
  queueGroups(e, groups, pos);
  return createGIDResponse(groups.front()->getGID());
}

std::unique_ptr<ValueBase> AddTorrentRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  const std::string data = uploadedData(req, *checkParam<String>(req, 0, true));
  const List* urisParam = checkParam<List>(req, 1);
  const Dict* optsParam = checkParam<Dict>(req, 2);
  const Integer* pos = positionParam(req, 3);
  std::vector<std::string> uris;
  toStringList(uris, urisParam);
  auto requestOption = std::make_shared<Option>(*e->getOption());
  gatherRequestOption(requestOption.get(), optsParam);
  std::string torrentFile;
  if (requestOption->getAsBool(PREF_RPC_SAVE_UPLOAD_METADATA)) {
    torrentFile = saveUploadedMetadata(data, *requestOption, ".torrent");
    if (!torrentFile.empty()) {
      QLOG_INFO(fmt("Uploaded torrent data was saved as %s", torrentFile.c_str()));
      requestOption->put(PREF_TORRENT_FILE, torrentFile);
    } else {
      QLOG_INFO(fmt("Uploaded torrent data was not saved. Failed to write file %s",
                    uploadFileName(data, *requestOption, ".torrent").c_str()));
    }
  }
  // Decoded here rather than handed over as text: empty data would make the
  // maker read the torrent from a local file instead.
  auto torrent = bencode2::decode(data);
  if (!torrent) {
    throw DL_ABORT_EX("Bencode decoding failed", error_code::BENCODE_PARSE_ERROR);
  }
  std::vector<std::shared_ptr<RequestGroup>> groups;
  bittorrent::createRequestGroupForBitTorrent(groups, requestOption, uris, torrentFile,
                                              torrent.get(), true);
  if (groups.empty()) {
    throw DL_ABORT_EX("No Torrent to download.");
  }
  groups.resize(1);
  queueGroups(e, groups, pos);
  return createGIDResponse(groups.front()->getGID());
}

std::unique_ptr<ValueBase> AddMetalinkRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  const std::string data = uploadedData(req, *checkParam<String>(req, 0, true));
  const Dict* optsParam = checkParam<Dict>(req, 1);
  const Integer* pos = positionParam(req, 2);
  auto requestOption = std::make_shared<Option>(*e->getOption());
  gatherRequestOption(requestOption.get(), optsParam);
  std::vector<std::shared_ptr<RequestGroup>> groups;
  if (requestOption->getAsBool(PREF_RPC_SAVE_UPLOAD_METADATA)) {
    const std::string path = saveUploadedMetadata(data, *requestOption, ".meta4");
    if (!path.empty()) {
      QLOG_INFO(fmt("Uploaded metalink data was saved as %s", path.c_str()));
      // The saved document is what the downloads name as their source.
      requestOption->put(PREF_METALINK_FILE, path);
      metalink::createRequestGroupForMetalink(groups, requestOption);
    } else {
      QLOG_INFO(fmt("Uploaded metalink data was not saved. Failed to write file %s",
                    uploadFileName(data, *requestOption, ".meta4").c_str()));
      metalink::createRequestGroupForMetalink(groups, requestOption, data);
    }
  } else {
    metalink::createRequestGroupForMetalink(groups, requestOption, data);
  }
  if (!groups.empty()) {
    queueGroups(e, groups, pos);
  }
  auto gids = List::g();
  for (const auto& group : groups) {
    gids->append(GroupId::toHex(group->getGID()));
  }
  return gids;
}

std::unique_ptr<ValueBase> RemoveRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  GroupId::gid_t gid = str2Gid(checkParam<String>(req, 0, true));
  auto group = findOrThrow(e, gid, "Active Download not found for GID#%s");
  if (!isWaiting(e, group)) {
    if (force_) {
      group->setForceHaltRequested(true, RequestGroup::USER_REQUEST);
    } else {
      group->setHaltRequested(true, RequestGroup::USER_REQUEST);
    }
    e->setRefreshInterval(std::chrono::milliseconds(0));
  } else {
    if (!group->isDependencyResolved()) {
      throw DL_ABORT_EX(fmt("GID#%s cannot be removed now", GroupId::toHex(gid).c_str()));
    }
    e->getRequestGroupMan()->removeReservedGroup(gid);
  }
  return createGIDResponse(gid);
}

std::unique_ptr<ValueBase> PauseRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  GroupId::gid_t gid = str2Gid(checkParam<String>(req, 0, true));
  auto group = e->getRequestGroupMan()->findGroup(gid);
  if (!group || !pauseRequestGroup(group, isWaiting(e, group), force_)) {
    throw DL_ABORT_EX(fmt("GID#%s cannot be paused now", GroupId::toHex(gid).c_str()));
  }
  e->setRefreshInterval(std::chrono::milliseconds(0));
  return createGIDResponse(gid);
}

std::unique_ptr<ValueBase> PauseAllRpcMethod::process(const RpcRequest& /*req*/,
                                                      DownloadEngine* e) {
  RequestGroupMan* rgman = e->getRequestGroupMan();
  for (const auto& [gid, group] : rgman->getRequestGroups()) {
    pauseRequestGroup(group, false, force_);
  }
  for (const auto& [gid, group] : rgman->getReservedGroups()) {
    if (!group->isPauseRequested()) {
      group->setPauseRequested(true);
    }
  }
  return createOKResponse();
}

std::unique_ptr<ValueBase> UnpauseRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  GroupId::gid_t gid = str2Gid(checkParam<String>(req, 0, true));
  auto group = e->getRequestGroupMan()->findGroup(gid);
  if (!group || !isWaiting(e, group) || !group->isPauseRequested()) {
    throw DL_ABORT_EX(fmt("GID#%s cannot be unpaused now", GroupId::toHex(gid).c_str()));
  }
  group->setPauseRequested(false);
  e->getRequestGroupMan()->requestQueueCheck();
  return createGIDResponse(gid);
}

std::unique_ptr<ValueBase> UnpauseAllRpcMethod::process(const RpcRequest& /*req*/,
                                                        DownloadEngine* e) {
  RequestGroupMan* rgman = e->getRequestGroupMan();
  for (const auto& [gid, group] : rgman->getReservedGroups()) {
    group->setPauseRequested(false);
  }
  rgman->requestQueueCheck();
  return createOKResponse();
}

std::unique_ptr<ValueBase> ChangeUriRpcMethod::process(const RpcRequest& req, DownloadEngine* e) {
  GroupId::gid_t gid = str2Gid(checkParam<String>(req, 0, true));
  const Integer* index = checkRequiredInteger(req, 1, IntegerGE(1));
  const List* delUris = checkParam<List>(req, 2, true);
  const List* addUris = checkParam<List>(req, 3, true);
  const Integer* pos = positionParam(req, 4);
  auto group = findOrThrow(e, gid, "Cannot remove URIs from GID#%s");
  const auto& files = group->getDownloadContext()->getFileEntries();
  if (static_cast<uint64_t>(index->i()) > files.size()) {
    throw DL_ABORT_EX("fileIndex is out of range");
  }
  const auto& fe = files[index->i() - 1];
  int64_t deleted = 0;
  std::vector<std::string> uris;
  toStringList(uris, delUris);
  for (const auto& uri : uris) {
    if (fe->removeUri(uri)) {
      ++deleted;
    }
  }
  int64_t added = 0;
  uris.clear();
  toStringList(uris, addUris);
  if (pos) {
    size_t at = clampPosition(pos->i(), fe->getRemainingUris().size());
    for (const auto& uri : uris) {
      if (fe->insertUri(uri, at)) {
        ++added;
        ++at;
      }
    }
  } else {
    for (const auto& uri : uris) {
      if (fe->addUri(uri)) {
        ++added;
      }
    }
  }
  if (added > 0 && group->getPieceStorage()) {
    std::vector<std::unique_ptr<Command>> commands;
    group->createNextCommand(commands, e);
    e->addCommand(std::move(commands));
    if (const auto& segman = group->getSegmentMan()) {
      segman->recognizeSegmentFor(fe);
    }
  }
  auto result = List::g();
  result->append(Integer::g(deleted));
  result->append(Integer::g(added));
  return result;
}

std::unique_ptr<ValueBase> ChangeOptionRpcMethod::process(const RpcRequest& req,
                                                          DownloadEngine* e) {
  GroupId::gid_t gid = str2Gid(checkParam<String>(req, 0, true));
  const Dict* optsParam = checkParam<Dict>(req, 1, true);
  auto group = findOrThrow(e, gid, "Cannot change option for GID#%s");
  Option option;
  if (isWaiting(e, group)) {
    gatherChangeableOptionForReserved(&option, optsParam);
  } else {
    auto pending = std::make_shared<Option>();
    gatherChangeableOption(&option, pending.get(), optsParam);
    if (!pending->emptyLocal()) {
      group->setPendingOption(pending);
      // The download stops and comes back with the options it can only take
      // while stopped.
      if (pauseRequestGroup(group, false, false)) {
        group->setRestartRequested(true);
        e->setRefreshInterval(std::chrono::milliseconds(0));
      }
    }
  }
  changeOption(group, option, e);
  applyMaxPeers(e, gid, option);
  return createOKResponse();
}

std::unique_ptr<ValueBase> ChangeGlobalOptionRpcMethod::process(const RpcRequest& req,
                                                                DownloadEngine* e) {
  const Dict* optsParam = checkParam<Dict>(req, 0, true);
  Option option;
  gatherChangeableGlobalOption(&option, optsParam);
  changeGlobalOption(option, e);
  return createOKResponse();
}

std::unique_ptr<ValueBase> PurgeDownloadResultRpcMethod::process(const RpcRequest& /*req*/,
                                                                 DownloadEngine* e) {
  e->getRequestGroupMan()->purgeDownloadResult();
  return createOKResponse();
}

std::unique_ptr<ValueBase> RemoveDownloadResultRpcMethod::process(const RpcRequest& req,
                                                                  DownloadEngine* e) {
  GroupId::gid_t gid = str2Gid(checkParam<String>(req, 0, true));
  if (!e->getRequestGroupMan()->removeDownloadResult(gid)) {
    throw DL_ABORT_EX(
        fmt("Could not remove download result of GID#%s", GroupId::toHex(gid).c_str()));
  }
  return createOKResponse();
}

std::unique_ptr<ValueBase> ShutdownRpcMethod::process(const RpcRequest& /*req*/,
                                                      DownloadEngine* e) {
  e->addRoutineCommand(
      std::make_unique<TimedHaltCommand>(e->newCUID(), e, std::chrono::seconds(3), force_));
  QLOG_INFO("Scheduled shutdown in 3 seconds.");
  return createOKResponse();
}

std::unique_ptr<ValueBase> SaveSessionRpcMethod::process(const RpcRequest& /*req*/,
                                                         DownloadEngine* e) {
  const std::string& filename = e->getOption()->get(PREF_SAVE_SESSION);
  if (filename.empty()) {
    throw DL_ABORT_EX("Filename is not given.");
  }
  if (!SessionSerializer(e->getRequestGroupMan()).save(filename)) {
    throw DL_ABORT_EX(fmt("Failed to serialize session to '%s'.", filename.c_str()));
  }
  QLOG_NOTICE(fmt(_("Serialized session to '%s' successfully."), filename.c_str()));
  return createOKResponse();
}

}  // namespace rpc
}  // namespace quarn
