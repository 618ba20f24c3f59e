#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// Download statistics of one connection.
class PeerStat {
 public:
  enum STATUS { IDLE = 0, ACTIVE = 1 };

  PeerStat(int64_t cuid, std::string hostname, std::string protocol)
      : cuid_(cuid),
        hostname_(std::move(hostname)),
        protocol_(std::move(protocol)),
        status_(IDLE),
        avgDownloadSpeed_(0),
        sessionDownloadLength_(0) {}
  explicit PeerStat(int64_t cuid = 0) : PeerStat(cuid, "", "") {}

  int64_t getCuid() const { return cuid_; }
  const std::string& getHostname() const { return hostname_; }
  const std::string& getProtocol() const { return protocol_; }
  STATUS getStatus() const { return status_; }
  void downloadStart() {
    sessionDownloadLength_ = 0;
    status_ = ACTIVE;
  }
  void downloadStop() { status_ = IDLE; }
  int32_t getAvgDownloadSpeed() const { return avgDownloadSpeed_; }
  void setAvgDownloadSpeed(int32_t speed) { avgDownloadSpeed_ = speed; }
  int64_t getSessionDownloadLength() const { return sessionDownloadLength_; }
  void updateDownload(int64_t bytes) { sessionDownloadLength_ += bytes; }
  void addSessionDownloadLength(int64_t bytes) { sessionDownloadLength_ += bytes; }

 private:
  int64_t cuid_;
  std::string hostname_;
  std::string protocol_;
  STATUS status_;
  int32_t avgDownloadSpeed_;
  int64_t sessionDownloadLength_;
};

}  // namespace quarn
