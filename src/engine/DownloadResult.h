#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/GroupId.h"
#include "engine/MetadataInfo.h"
#include "foundation/error_code.h"
#include "storage/DownloadContext.h"

namespace quarn {

class Option;

// What a stopped download was and how it ended.
struct DownloadResult {
  GroupId::gid_t belongsTo = 0;
  int64_t sessionDownloadLength = 0;
  // Milliseconds.
  int64_t sessionTime = 0;
  int64_t totalLength = 0;
  int64_t completedLength = 0;
  int64_t uploadLength = 0;
  std::shared_ptr<GroupId> gid;
  std::shared_ptr<Option> option;
  std::shared_ptr<MetadataInfo> metadataInfo;
  std::vector<std::shared_ptr<ContextAttribute>> attrs;
  std::vector<std::shared_ptr<FileEntry>> fileEntries;
  std::vector<GroupId::gid_t> followedBy;
  GroupId::gid_t following = 0;
  std::string bitfield;
  std::string infoHash;
  std::string dir;
  uint64_t numPieces = 0;
  int32_t pieceLength = 0;
  error_code::Value result = error_code::UNDEFINED;
  std::string resultMessage;
  bool inMemoryDownload = false;
};

}  // namespace quarn
