#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// What the engine reads and steers of a running torrent download. BitTorrent
// keeps the torrent's objects (runtime, peers) in its registry and hands the
// download one of these, so the engine never needs their types.
class TorrentSession {
 public:
  virtual ~TorrentSession() = default;

  // The 20 raw bytes of the info hash.
  virtual const std::string& getInfoHash() const = 0;
  // Tells every command of the torrent to wind down (or not).
  virtual void setHalt(bool halt) = 0;
  virtual int32_t getConnections() const = 0;
  // Bytes uploaded in earlier sessions, read from the control file.
  virtual int64_t getUploadLengthAtStartup() const = 0;
  // Seeders among the peers we are connected to.
  virtual int countSeeders() const = 0;
  // Leaves the registry; called once, when the download leaves the active list.
  virtual void release() = 0;
};

}  // namespace quarn
