#include "bittorrent/HTTPAnnRequest.h"

#include "bittorrent/BtAnnounce.h"
#include "engine/Command.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PieceStorage.h"
#include "storage/stored_data.h"

namespace quarn {

HTTPAnnRequest::HTTPAnnRequest(std::shared_ptr<RequestGroup> group) : group_(std::move(group)) {}

HTTPAnnRequest::~HTTPAnnRequest() = default;

bool HTTPAnnRequest::stopped() const {
  return group_->getNumCommand() == 0;
}

bool HTTPAnnRequest::success() const {
  return group_->downloadFinished();
}

bool HTTPAnnRequest::issue(DownloadEngine* e) {
  try {
    std::vector<std::unique_ptr<Command>> commands;
    group_->createInitialCommand(commands, e);
    e->addCommand(std::move(commands));
    e->setNoWait(true);
    QLOG_DEBUG("added tracker request command");
    return true;
  } catch (const RecoverableException& ex) {
    QLOG_ERROR_EX(_("Exception caught"), ex);
    return false;
  }
}

void HTTPAnnRequest::stop(DownloadEngine* /*e*/) {
  group_->setForceHaltRequested(true, RequestGroup::SHUTDOWN_SIGNAL);
}

bool HTTPAnnRequest::processResponse(BtAnnounce& btAnnounce) {
  try {
    const auto& pieceStorage = group_->getPieceStorage();
    if (!pieceStorage) {
      throw DL_ABORT_EX("The tracker sent no body.");
    }
    if (pieceStorage->getCompletedLength() >
        static_cast<int64_t>(BtAnnounce::MAX_RESPONSE_LENGTH)) {
      throw DL_ABORT_EX("Tracker response too large.");
    }
    const std::string body = readStoredData(pieceStorage->getDiskAdaptor());
    btAnnounce.processAnnounceResponse(reinterpret_cast<const unsigned char*>(body.data()),
                                       body.size());
    return true;
  } catch (const RecoverableException& ex) {
    const auto& uris = group_->getDownloadContext()->getFirstFileEntry()->getUris();
    QLOG_ERROR_EX(
        fmt(_("GID#%s - Tracker request %s failed"), group_->getGroupId()->toHex().c_str(),
            uris.empty() ? "" : uris.front().c_str()),
        ex);
    return false;
  }
}

}  // namespace quarn
