#include "engine/ChecksumCheckIntegrityEntry.h"

#include "engine/Command.h"
#include "engine/RequestGroup.h"
#include "engine/StreamFileAllocationEntry.h"
#include "storage/DownloadContext.h"
#include "storage/IteratableChecksumValidator.h"

namespace quarn {

ChecksumCheckIntegrityEntry::ChecksumCheckIntegrityEntry(RequestGroup* requestGroup,
                                                         std::unique_ptr<Command> nextCommand)
    : CheckIntegrityEntry(requestGroup, std::move(nextCommand)), redownload_(false) {}

ChecksumCheckIntegrityEntry::~ChecksumCheckIntegrityEntry() = default;

bool ChecksumCheckIntegrityEntry::isValidationReady() {
  return getRequestGroup()->getDownloadContext()->isChecksumVerificationAvailable();
}

void ChecksumCheckIntegrityEntry::initValidator() {
  auto validator = std::make_unique<IteratableChecksumValidator>(
      getRequestGroup()->getDownloadContext(), getRequestGroup()->getPieceStorage());
  validator->init();
  setValidator(std::move(validator));
}

void ChecksumCheckIntegrityEntry::onDownloadFinished(
    std::vector<std::unique_ptr<Command>>& /*commands*/, DownloadEngine* /*e*/) {}

void ChecksumCheckIntegrityEntry::onDownloadIncomplete(
    std::vector<std::unique_ptr<Command>>& commands, DownloadEngine* e) {
  if (redownload_) {
    proceedFileAllocation(
        commands, std::make_unique<StreamFileAllocationEntry>(getRequestGroup(), popNextCommand()),
        e);
    return;
  }
  getRequestGroup()->setLastErrorCode(error_code::CHECKSUM_ERROR, "");
}

}  // namespace quarn
