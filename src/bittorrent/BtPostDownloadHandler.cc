#include "bittorrent/BtPostDownloadHandler.h"

#include <string>

#include "bittorrent/bt_downloads.h"
#include "config/Option.h"
#include "engine/ContentTypeRequestGroupCriteria.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroup.h"
#include "engine/ValueBaseDiskWriter.h"
#include "engine/download_handlers.h"
#include "engine/download_helper.h"
#include "engine/follow_up_downloads.h"
#include "foundation/BencodeParser.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/ValueBase.h"
#include "foundation/bencode2.h"
#include "foundation/fmt.h"
#include "storage/DirectDiskAdaptor.h"
#include "storage/PieceStorage.h"
#include "storage/stored_data.h"

namespace quarn {

const char** getBtExtensions() {
  return download_handlers::BT_EXTENSIONS;
}

const char** getBtContentTypes() {
  return download_handlers::BT_CONTENT_TYPES;
}

namespace {

using BencodeDiskWriter = ValueBaseDiskWriter<bittorrent::BencodeParser>;

// The torrent that an in-memory download parsed while it arrived.
std::unique_ptr<ValueBase> takeParsedTorrent(RequestGroup* group) {
  auto* adaptor =
      dynamic_cast<DirectDiskAdaptor*>(group->getPieceStorage()->getDiskAdaptor().get());
  auto* writer =
      adaptor ? dynamic_cast<BencodeDiskWriter*>(adaptor->getDiskWriter().get()) : nullptr;
  if (!writer) {
    return nullptr;
  }
  ssize_t error = 0;
  return writer->finalize(error);
}

// The torrent in the file the download stored.
std::unique_ptr<ValueBase> readStoredTorrent(RequestGroup* group) {
  const auto data = readStoredData(group->getPieceStorage()->getDiskAdaptor());
  try {
    return bencode2::decode(data);
  } catch (RecoverableException&) {
    return nullptr;
  }
}

}  // namespace

BtPostDownloadHandler::BtPostDownloadHandler() {
  setCriteria(
      std::make_unique<ContentTypeRequestGroupCriteria>(getBtContentTypes(), getBtExtensions()));
}

void BtPostDownloadHandler::getNextRequestGroups(std::vector<std::shared_ptr<RequestGroup>>& groups,
                                                 RequestGroup* requestGroup) const {
  QLOG_INFO(fmt("Generating RequestGroups for Torrent file %s",
                requestGroup->getFirstFilePath().c_str()));
  auto torrent = requestGroup->inMemoryDownload() ? takeParsedTorrent(requestGroup)
                                                  : readStoredTorrent(requestGroup);
  if (!torrent) {
    throw DL_ABORT_EX("Could not parse BitTorrent metainfo", error_code::BENCODE_PARSE_ERROR);
  }
  std::vector<std::shared_ptr<RequestGroup>> newGroups;
  bittorrent::createRequestGroupForBitTorrent(newGroups, requestGroup->getOption(), {}, "",
                                              torrent.get());
  appendFollowUpDownloads(groups, newGroups, requestGroup,
                          createMetadataInfoFromFirstFileEntry(requestGroup->getGroupId(),
                                                               requestGroup->getDownloadContext()));
}

}  // namespace quarn
