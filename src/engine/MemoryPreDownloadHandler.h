#pragma once

#include <memory>

#include "engine/PreDownloadHandler.h"
#include "engine/RequestGroup.h"

namespace quarn {

// Keeps a download in memory through writers of the given factory: one
// connection, no file allocation and no look at local files.
template <typename DiskWriterFactoryType>
class MemoryPreDownloadHandler : public PreDownloadHandler {
 public:
  void execute(RequestGroup* requestGroup) const override {
    requestGroup->setDiskWriterFactory(std::make_shared<DiskWriterFactoryType>());
    requestGroup->setFileAllocationEnabled(false);
    requestGroup->setLocalFileCheckEnabled(false);
    requestGroup->markInMemoryDownload();
    requestGroup->setMaxConcurrentCommands(1);
  }
};

}  // namespace quarn
