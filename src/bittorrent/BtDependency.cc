#include "bittorrent/BtDependency.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/announce_uri.h"
#include "bittorrent/magnet.h"
#include "bittorrent/torrent_reader.h"
#include "engine/RequestGroup.h"
#include "foundation/DlAbortEx.h"
#include "foundation/File.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/fmt.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PieceStorage.h"
#include "storage/stored_data.h"

namespace quarn {

namespace {

using FileEntries = std::vector<std::shared_ptr<FileEntry>>;

// The torrent entry takes the place of the dependant's: its path, mirrors
// (after the torrent's web seeds) and connection limits.
void copyEntry(const FileEntry& from, FileEntry& to) {
  to.setRequested(true);
  to.setPath(from.getPath());
  for (const auto& uri : from.getRemainingUris()) {
    to.getRemainingUris().push_back(uri);
  }
  to.setMaxConnectionPerServer(from.getMaxConnectionPerServer());
  to.setUniqueProtocol(from.isUniqueProtocol());
}

bool entryLess(const std::shared_ptr<FileEntry>& a, const std::shared_ptr<FileEntry>& b) {
  return a->getOriginalName() < b->getOriginalName();
}

// Requests exactly the torrent files the dependant names; throws when one is
// missing from the torrent.
void mapEntries(const FileEntries& dependantEntries, FileEntries torrentEntries) {
  if (dependantEntries.size() == 1 && torrentEntries.size() == 1 &&
      dependantEntries[0]->getOriginalName().empty()) {
    copyEntry(*dependantEntries[0], *torrentEntries[0]);
    return;
  }
  for (const auto& entry : torrentEntries) {
    entry->setRequested(false);
  }
  std::sort(torrentEntries.begin(), torrentEntries.end(), entryLess);
  for (const auto& wanted : dependantEntries) {
    auto it = std::lower_bound(torrentEntries.begin(), torrentEntries.end(), wanted, entryLess);
    if (it == torrentEntries.end() || (*it)->getOriginalName() != wanted->getOriginalName()) {
      throw DL_ABORT_EX(fmt("No entry %s in torrent file", wanted->getOriginalName().c_str()));
    }
    copyEntry(*wanted, **it);
  }
}

// The description of the torrent that the finished dependee fetched.
std::shared_ptr<DownloadContext> loadTorrent(const RequestGroup& dependee,
                                             const std::shared_ptr<Option>& option) {
  const auto data = readStoredData(dependee.getPieceStorage()->getDiskAdaptor());
  auto context = std::make_shared<DownloadContext>();
  const auto& dependeeContext = dependee.getDownloadContext();
  if (dependeeContext->hasAttribute(CTX_ATTR_BT)) {
    // Fetched metadata: the data is the info dictionary alone. It came from
    // strangers, so only the info dictionary of the awaited hash is taken.
    const auto* attrs = bittorrent::getTorrentAttrs(dependeeContext);
    auto torrent = bittorrent::metadata2Torrent(data, attrs);
    bittorrent::loadFromMemory(torrent, context, option, "default", "");
    if (bittorrent::getTorrentAttrs(context)->infoHash != attrs->infoHash) {
      throw DL_ABORT_EX("Got wrong ut_metadata");
    }
  } else {
    bittorrent::loadFromMemory(data, context, option,
                               File(dependee.getFirstFilePath()).getBasename(), "");
    bittorrent::adjustAnnounceUri(bittorrent::getTorrentAttrs(context), *option);
  }
  for (const auto& entry : context->getFileEntries()) {
    auto& uris = entry->getRemainingUris();
    std::shuffle(uris.begin(), uris.end(), *SimpleRandomizer::getInstance());
  }
  return context;
}

}  // namespace

BtDependency::BtDependency(RequestGroup* dependant, std::shared_ptr<RequestGroup> dependee)
    : dependant_(dependant), dependee_(std::move(dependee)) {}

void BtDependency::goWithoutBt() const {
  QLOG_INFO(fmt("BtDependency for GID#%s failed. Go without Bt.",
                dependant_->getGroupId()->toHex().c_str()));
}

bool BtDependency::resolve() {
  if (!dependee_) {
    return true;
  }
  if (dependee_->getNumCommand() != 0) {
    return false;
  }
  auto dependee = std::move(dependee_);
  if (!dependee->downloadFinished()) {
    goWithoutBt();
    return true;
  }
  try {
    auto context = loadTorrent(*dependee, dependant_->getOption());
    mapEntries(dependant_->getDownloadContext()->getFileEntries(), context->getFileEntries());
    QLOG_INFO(fmt("Dependency resolved for GID#%s", dependant_->getGroupId()->toHex().c_str()));
    dependant_->setDownloadContext(context);
  } catch (RecoverableException& e) {
    QLOG_ERROR_EX("Exception caught", e);
    goWithoutBt();
  }
  return true;
}

}  // namespace quarn
