#pragma once

#include <memory>
#include <string>

#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "storage/DownloadFixture.h"

namespace quarn::test {

// The storage fixture owned by a download, as the engine's commands see it.
struct GroupDownloadFixture : DownloadFixture {
  GroupDownloadFixture(const std::string& path, int32_t pieceLength, int64_t totalLength)
      : DownloadFixture(path, pieceLength, totalLength),
        group(std::make_shared<RequestGroup>(GroupId::create(), option)) {
    group->setDownloadContext(ctx);
    group->setPieceStorage(storage);
  }

  std::shared_ptr<RequestGroup> group;
};

}  // namespace quarn::test
