#include "engine/FileAllocationEntry.h"

#include "engine/Command.h"
#include "engine/RequestGroup.h"
#include "storage/DiskAdaptor.h"
#include "storage/FileAllocationIterator.h"
#include "storage/PieceStorage.h"

namespace quarn {

FileAllocationEntry::FileAllocationEntry(RequestGroup* requestGroup,
                                         std::unique_ptr<Command> nextCommand)
    : RequestGroupEntry(requestGroup, std::move(nextCommand)),
      fileAllocationIterator_(
          requestGroup->getPieceStorage()->getDiskAdaptor()->fileAllocationIterator()) {}

FileAllocationEntry::~FileAllocationEntry() = default;

int64_t FileAllocationEntry::getCurrentLength() {
  return fileAllocationIterator_->getCurrentLength();
}

int64_t FileAllocationEntry::getTotalLength() {
  return fileAllocationIterator_->getTotalLength();
}

bool FileAllocationEntry::finished() {
  return fileAllocationIterator_->finished();
}

void FileAllocationEntry::allocateChunk() {
  fileAllocationIterator_->allocateChunk();
}

}  // namespace quarn
