#include "engine/CheckIntegrityEntry.h"

#include "engine/Command.h"
#include "engine/DownloadEngine.h"
#include "engine/FileAllocationEntry.h"
#include "engine/RequestGroup.h"
#include "storage/DiskAdaptor.h"
#include "storage/IteratableValidator.h"
#include "storage/PieceStorage.h"
#include "storage/SequentialPicker.h"

namespace quarn {

CheckIntegrityEntry::CheckIntegrityEntry(RequestGroup* requestGroup,
                                         std::unique_ptr<Command> nextCommand)
    : RequestGroupEntry(requestGroup, std::move(nextCommand)) {}

CheckIntegrityEntry::~CheckIntegrityEntry() = default;

int64_t CheckIntegrityEntry::getTotalLength() {
  return validator_ ? validator_->getTotalLength() : 0;
}

int64_t CheckIntegrityEntry::getCurrentLength() {
  return validator_ ? validator_->getCurrentOffset() : 0;
}

void CheckIntegrityEntry::validateChunk() {
  validator_->validateChunk();
}

bool CheckIntegrityEntry::finished() {
  return validator_->finished();
}

void CheckIntegrityEntry::cutTrailingGarbage() {
  getRequestGroup()->getPieceStorage()->getDiskAdaptor()->cutTrailingGarbage();
}

void CheckIntegrityEntry::setValidator(std::unique_ptr<IteratableValidator> validator) {
  validator_ = std::move(validator);
}

void CheckIntegrityEntry::proceedFileAllocation(std::vector<std::unique_ptr<Command>>& commands,
                                                std::unique_ptr<FileAllocationEntry> entry,
                                                DownloadEngine* e) {
  // Files already at their full length (a complete torrent opened read-only,
  // or data below the no-allocation limit) have nothing to allocate.
  if (getRequestGroup()->needsFileAllocation()) {
    e->getFileAllocationMan()->pushEntry(std::move(entry));
  } else {
    entry->prepareForNextAction(commands, e);
  }
}

}  // namespace quarn
