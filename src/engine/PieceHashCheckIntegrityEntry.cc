#include "engine/PieceHashCheckIntegrityEntry.h"

#include "engine/Command.h"
#include "engine/RequestGroup.h"
#include "storage/DownloadContext.h"
#include "storage/IteratableChunkChecksumValidator.h"

namespace quarn {

PieceHashCheckIntegrityEntry::PieceHashCheckIntegrityEntry(RequestGroup* requestGroup,
                                                           std::unique_ptr<Command> nextCommand)
    : CheckIntegrityEntry(requestGroup, std::move(nextCommand)) {}

PieceHashCheckIntegrityEntry::~PieceHashCheckIntegrityEntry() = default;

bool PieceHashCheckIntegrityEntry::isValidationReady() {
  return getRequestGroup()->getDownloadContext()->isPieceHashVerificationAvailable();
}

void PieceHashCheckIntegrityEntry::initValidator() {
  auto validator = std::make_unique<IteratableChunkChecksumValidator>(
      getRequestGroup()->getDownloadContext(), getRequestGroup()->getPieceStorage());
  validator->init();
  setValidator(std::move(validator));
}

}  // namespace quarn
