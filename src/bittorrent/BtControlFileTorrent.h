#pragma once

#include <memory>

#include "storage/ControlFileTorrent.h"

namespace quarn {

class BtRuntime;
class DownloadContext;

// The torrent fields of a torrent download's control file: its info hash and
// the upload count its runtime carries over from earlier sessions.
class BtControlFileTorrent : public ControlFileTorrent {
 public:
  BtControlFileTorrent(std::shared_ptr<DownloadContext> downloadContext,
                       std::shared_ptr<BtRuntime> btRuntime)
      : downloadContext_(std::move(downloadContext)), btRuntime_(std::move(btRuntime)) {}

  std::string getInfoHash() const override;
  int64_t getUploadLengthAtStartup() const override;
  void setUploadLengthAtStartup(int64_t length) override;

 private:
  std::shared_ptr<DownloadContext> downloadContext_;
  std::shared_ptr<BtRuntime> btRuntime_;
};

}  // namespace quarn
