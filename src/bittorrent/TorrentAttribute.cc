#include "bittorrent/TorrentAttribute.h"

namespace quarn {
namespace bittorrent {

const char* getModeString(BtFileMode mode) {
  switch (mode) {
    case BT_FILE_MODE_SINGLE:
      return "single";
    case BT_FILE_MODE_MULTI:
      return "multi";
    default:
      return "";
  }
}

}  // namespace bittorrent
}  // namespace quarn
