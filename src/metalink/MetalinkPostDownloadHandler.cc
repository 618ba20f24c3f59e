#include "metalink/MetalinkPostDownloadHandler.h"

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/ContentTypeRequestGroupCriteria.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "engine/download_handlers.h"
#include "engine/follow_up_downloads.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "metalink/Metalink2RequestGroup.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PieceStorage.h"

namespace quarn {

namespace {

// Relative URLs in the document are relative to where it came from.
std::string baseUriOf(const DownloadContext& dctx) {
  if (dctx.getFileEntries().empty()) {
    return "";
  }
  const auto& file = *dctx.getFirstFileEntry();
  if (!file.getSpentUris().empty()) {
    return file.getSpentUris().back();
  }
  if (!file.getRemainingUris().empty()) {
    return file.getRemainingUris().front();
  }
  return "";
}

// Where the new downloads came from: the document's own URI.
std::shared_ptr<MetadataInfo> metadataInfoOf(const RequestGroup& group) {
  const auto& dctx = group.getDownloadContext();
  if (dctx->getFileEntries().empty()) {
    return nullptr;
  }
  auto uris = dctx->getFirstFileEntry()->getUris();
  if (uris.empty()) {
    return nullptr;
  }
  return std::make_shared<MetadataInfo>(group.getGroupId(), uris.front());
}

}  // namespace

MetalinkPostDownloadHandler::MetalinkPostDownloadHandler() {
  setCriteria(std::make_unique<ContentTypeRequestGroupCriteria>(
      download_handlers::METALINK_CONTENT_TYPES, download_handlers::METALINK_EXTENSIONS));
}

void MetalinkPostDownloadHandler::getNextRequestGroups(
    std::vector<std::shared_ptr<RequestGroup>>& groups, RequestGroup* requestGroup) const {
  QLOG_DEBUG(fmt("Generating RequestGroups for Metalink file %s",
                 requestGroup->getFirstFilePath().c_str()));
  auto diskAdaptor = requestGroup->getPieceStorage()->getDiskAdaptor();
  diskAdaptor->openExistingFile();
  std::vector<std::shared_ptr<RequestGroup>> newGroups;
  try {
    Metalink2RequestGroup().generate(newGroups, diskAdaptor.get(), requestGroup->getOption(),
                                     baseUriOf(*requestGroup->getDownloadContext()));
  } catch (...) {
    diskAdaptor->closeFile();
    throw;
  }
  appendFollowUpDownloads(groups, newGroups, requestGroup, metadataInfoOf(*requestGroup));
  diskAdaptor->closeFile();
}

}  // namespace quarn
