#pragma once

#include <memory>
#include <string>

#include "config/Option.h"
#include "config/prefs.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"

namespace quarn::test {

// A download of one file at path with its piece storage set up, options
// layered over a global store.
struct DownloadFixture {
  DownloadFixture(const std::string& path, int32_t pieceLength, int64_t totalLength)
      : globalOption(std::make_shared<Option>()), option(std::make_shared<Option>()) {
    globalOption->put(PREF_FILE_ALLOCATION, "prealloc");
    globalOption->put(PREF_TIMEOUT, "60");
    globalOption->put(PREF_AUTO_SAVE_INTERVAL, "60");
    globalOption->put(PREF_MAX_MMAP_LIMIT, "9223372036854775807");
    option->setParent(globalOption);
    ctx = std::make_shared<DownloadContext>(pieceLength, totalLength, path);
    storage = std::make_shared<DefaultPieceStorage>(ctx, option.get());
    storage->initStorage();
  }
  void openFile() { storage->getDiskAdaptor()->openFile(); }

  std::shared_ptr<Option> globalOption;
  std::shared_ptr<Option> option;
  std::shared_ptr<DownloadContext> ctx;
  std::shared_ptr<DefaultPieceStorage> storage;
};

}  // namespace quarn::test
