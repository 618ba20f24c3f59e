#pragma once

#include "engine/CheckIntegrityEntry.h"

namespace quarn {

// Integrity check against the piece hashes; what follows is up to the kind of
// download.
class PieceHashCheckIntegrityEntry : public CheckIntegrityEntry {
 public:
  PieceHashCheckIntegrityEntry(RequestGroup* requestGroup,
                               std::unique_ptr<Command> nextCommand = nullptr);
  ~PieceHashCheckIntegrityEntry() override;

  bool isValidationReady() override;
  void initValidator() override;
};

}  // namespace quarn
