#pragma once

#include "engine/PieceHashCheckIntegrityEntry.h"

namespace quarn {

// Piece-hash check of an HTTP, FTP or SFTP download: missing pieces are
// fetched again unless only a check was asked for.
class StreamCheckIntegrityEntry : public PieceHashCheckIntegrityEntry {
 public:
  StreamCheckIntegrityEntry(RequestGroup* requestGroup,
                            std::unique_ptr<Command> nextCommand = nullptr);
  ~StreamCheckIntegrityEntry() override;

  void onDownloadFinished(std::vector<std::unique_ptr<Command>>& commands,
                          DownloadEngine* e) override;
  void onDownloadIncomplete(std::vector<std::unique_ptr<Command>>& commands,
                            DownloadEngine* e) override;
};

}  // namespace quarn
