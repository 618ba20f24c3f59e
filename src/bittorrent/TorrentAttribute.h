#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "storage/DownloadContext.h"

namespace quarn {

enum BtFileMode { BT_FILE_MODE_NONE = 0, BT_FILE_MODE_SINGLE = 1, BT_FILE_MODE_MULTI = 2 };

// Everything a torrent says beyond the file layout and piece hashes, attached
// to its DownloadContext. A magnet download still waiting for its metadata is
// one whose metadata is empty.
class TorrentAttribute : public ContextAttribute {
 public:
  std::string name;
  BtFileMode mode = BT_FILE_MODE_NONE;
  std::vector<std::vector<std::string>> announceList;
  std::vector<std::pair<std::string, uint16_t>> nodes;
  // 20 raw bytes once known.
  std::string infoHash;
  // The bencoded "info" dictionary as this program writes it.
  std::string metadata;
  size_t metadataSize = 0;
  bool privateTorrent = false;
  int64_t creationDate = 0;
  std::string comment;
  std::string createdBy;
  std::vector<std::string> urlList;
};

namespace bittorrent {

inline constexpr size_t INFO_HASH_LENGTH = 20;
inline constexpr size_t PIECE_HASH_LENGTH = 20;

// "single", "multi", or "" for an unknown mode.
const char* getModeString(BtFileMode mode);

}  // namespace bittorrent

}  // namespace quarn
