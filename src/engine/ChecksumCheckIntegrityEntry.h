#pragma once

#include "engine/CheckIntegrityEntry.h"

namespace quarn {

// Integrity check against the whole-file digest. Before a download (the
// re-download flag set) a mismatch starts the download again; after one it
// fails the download.
class ChecksumCheckIntegrityEntry : public CheckIntegrityEntry {
 public:
  ChecksumCheckIntegrityEntry(RequestGroup* requestGroup,
                              std::unique_ptr<Command> nextCommand = nullptr);
  ~ChecksumCheckIntegrityEntry() override;

  bool isValidationReady() override;
  void initValidator() override;
  void onDownloadFinished(std::vector<std::unique_ptr<Command>>& commands,
                          DownloadEngine* e) override;
  void onDownloadIncomplete(std::vector<std::unique_ptr<Command>>& commands,
                            DownloadEngine* e) override;

  void setRedownload(bool redownload) { redownload_ = redownload; }
  bool getRedownload() const { return redownload_; }

 private:
  bool redownload_;
};

}  // namespace quarn
