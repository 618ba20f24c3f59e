#pragma once

#include <cstdint>

namespace quarn {

// A snapshot of transfer speeds and lengths.
struct TransferStat {
  int32_t downloadSpeed = 0;
  int32_t uploadSpeed = 0;
  int64_t sessionDownloadLength = 0;
  int64_t sessionUploadLength = 0;
  // Upload of this and earlier sessions; 0 unless the owner fills it in.
  int64_t allTimeUploadLength = 0;
};

}  // namespace quarn
