#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// What a torrent download adds to its control file: the info hash that a
// resumed record must match, and the upload count carried from one session
// to the next.
class ControlFileTorrent {
 public:
  virtual ~ControlFileTorrent() = default;
  // 20 raw bytes.
  virtual std::string getInfoHash() const = 0;
  // Bytes uploaded in earlier sessions.
  virtual int64_t getUploadLengthAtStartup() const = 0;
  virtual void setUploadLengthAtStartup(int64_t length) = 0;
};

}  // namespace quarn
