#include "bittorrent/BtDownloadStarter.h"

#include "bittorrent/BtCheckIntegrityEntry.h"
#include "bittorrent/BtControlFileTorrent.h"
#include "bittorrent/BtObject.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/BtTorrentSession.h"
#include "bittorrent/DefaultBtAnnounce.h"
#include "bittorrent/DefaultPeerStorage.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/TorrentDHT.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/PieceStorage.h"

namespace quarn {

namespace {

// Opens the torrent's files: resumed from the control file, or existing data
// taken as it is when the user allows it, or new files.
void openFiles(RequestGroup& group, DefaultBtProgressInfoFile& infoFile) {
  const Option& option = *group.getOption();
  const auto& context = group.getDownloadContext();
  const auto& pieceStorage = group.getPieceStorage();
  const auto& diskAdaptor = pieceStorage->getDiskAdaptor();
  const int64_t actual = diskAdaptor->size();
  if (actual == context->getTotalLength()) {
    diskAdaptor->enableReadOnly();
  } else {
    QLOG_DEBUG(
        fmt("File size not match. File is opened in writable mode. Expected:%lld Actual:%lld",
            static_cast<long long>(context->getTotalLength()), static_cast<long long>(actual)));
  }
  if (infoFile.exists()) {
    infoFile.load();
    group.ensureDiskSpace();
    diskAdaptor->openFile();
    return;
  }
  if (diskAdaptor->fileExists()) {
    if (!option.getAsBool(PREF_CHECK_INTEGRITY) && !option.getAsBool(PREF_ALLOW_OVERWRITE) &&
        !option.getAsBool(PREF_BT_SEED_UNVERIFIED)) {
      throw DOWNLOAD_FAILURE_EXCEPTION(
          fmt(_(MSG_FILE_EXISTS_WITHOUT_CONTROL_FILE), context->getBasePath().c_str()),
          error_code::FILE_ALREADY_EXISTS);
    }
    group.ensureDiskSpace();
    diskAdaptor->openFile();
    if (option.getAsBool(PREF_BT_SEED_UNVERIFIED)) {
      pieceStorage->markAllPiecesDone();
    }
    return;
  }
  group.ensureDiskSpace();
  diskAdaptor->openFile();
}

}  // namespace

void BtDownloadStarter::createInitialCommands(std::vector<std::unique_ptr<Command>>& commands,
                                              RequestGroup* group, DownloadEngine* engine) {
  const auto& context = group->getDownloadContext();
  const auto& option = group->getOption();
  const auto* torrent = bittorrent::getTorrentAttrs(context);
  const bool metadataMode = torrent->metadata.empty();
  auto* registry = engine->getService<BtRegistry>();
  if (registry->getDownloadContext(torrent->infoHash)) {
    throw DOWNLOAD_FAILURE_EXCEPTION(
        fmt("InfoHash %s is already registered.", bittorrent::getInfoHashString(context).c_str()),
        error_code::DUPLICATE_INFO_HASH);
  }
  std::shared_ptr<DefaultBtProgressInfoFile> infoFile;
  if (!metadataMode) {
    if (group->getRequestGroupMan() &&
        group->getRequestGroupMan()->isSameFileBeingDownloaded(group)) {
      throw DOWNLOAD_FAILURE_EXCEPTION(
          fmt(_("File %s is being downloaded by other command."), context->getBasePath().c_str()),
          error_code::DUPLICATE_DOWNLOAD);
    }
    group->initPieceStorage();
    if (context->getFileEntries().size() > 1) {
      group->getPieceStorage()->setupFileFilter();
    }
    infoFile = std::make_shared<DefaultBtProgressInfoFile>(context, group->getPieceStorage(),
                                                           option.get());
  } else {
    group->initPieceStorage();
  }
  const auto& pieceStorage = group->getPieceStorage();

  auto runtime = std::make_shared<BtRuntime>();
  runtime->setMaxPeers(option->getAsInt(PREF_BT_MAX_PEERS));
  if (infoFile) {
    infoFile->setControlFileTorrent(std::make_shared<BtControlFileTorrent>(context, runtime));
  }
  auto peerStorage = std::make_shared<DefaultPeerStorage>();
  peerStorage->setBtRuntime(runtime);
  peerStorage->setPieceStorage(pieceStorage);
  auto announce = std::make_shared<DefaultBtAnnounce>(context.get(), option.get());
  announce->setBtRuntime(runtime);
  announce->setPieceStorage(pieceStorage);
  announce->setPeerStorage(peerStorage);
  announce->setUserDefinedInterval(
      std::chrono::seconds(option->getAsInt(PREF_BT_TRACKER_INTERVAL)));
  announce->shuffleAnnounce();
  std::shared_ptr<BtProgressInfoFile> registeredFile = infoFile;
  if (!registeredFile) {
    registeredFile = group->getProgressInfoFile();
  }
  registry->put(group->getGID(), std::make_unique<BtObject>(context, pieceStorage, peerStorage,
                                                            announce, runtime, registeredFile));
  group->setTorrentSession(std::make_unique<BtTorrentSession>(
      registry, group->getGID(), torrent->infoHash, runtime, peerStorage));

  const bool dhtWanted =
      option->getAsBool(PREF_ENABLE_DHT) ||
      (!option->getAsBool(PREF_DISABLE_IPV6) && option->getAsBool(PREF_ENABLE_DHT6));
  if (auto* dht = engine->getService<TorrentDHT>(); dht && dhtWanted) {
    dht->setup(*option);
    dht->addEntryPoints(*torrent);
  }
  if (metadataMode) {
    if (!option->getAsBool(PREF_ENABLE_DHT)) {
      QLOG_NOTICE(
          _("For BitTorrent Magnet URI, enabling DHT is strongly recommended. See --enable-dht "
            "option."));
    }
    BtCheckIntegrityEntry(group).onDownloadIncomplete(commands, engine);
    return;
  }
  group->removeDefunctControlFile(infoFile);
  openFiles(*group, *infoFile);
  group->setProgressInfoFile(infoFile);
  auto entry = std::make_unique<BtCheckIntegrityEntry>(group);
  if (option->getAsBool(PREF_BT_SEED_UNVERIFIED) && pieceStorage->downloadFinished()) {
    entry->onDownloadFinished(commands, engine);
  } else {
    group->processCheckIntegrityEntry(commands, std::move(entry), engine);
  }
}

}  // namespace quarn
