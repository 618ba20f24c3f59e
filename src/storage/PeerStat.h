#pragma once

#include <cstdint>
#include <string>

#include "storage/NetStat.h"

namespace quarn {

// The transfer statistics of one connection, with its host and protocol.
class PeerStat {
 public:
  using STATUS = NetStat::STATUS;
  static constexpr STATUS IDLE = NetStat::IDLE;
  static constexpr STATUS ACTIVE = NetStat::ACTIVE;

  PeerStat(int64_t cuid, std::string hostname, std::string protocol)
      : cuid_(cuid), hostname_(std::move(hostname)), protocol_(std::move(protocol)) {}
  explicit PeerStat(int64_t cuid = 0) : PeerStat(cuid, "", "") {}

  int64_t getCuid() const { return cuid_; }
  const std::string& getHostname() const { return hostname_; }
  const std::string& getProtocol() const { return protocol_; }

  int32_t calculateDownloadSpeed() { return netStat_.calculateDownloadSpeed(); }
  int32_t calculateUploadSpeed() { return netStat_.calculateUploadSpeed(); }
  int32_t calculateNewestDownloadSpeed(int seconds) {
    return netStat_.calculateNewestDownloadSpeed(seconds);
  }
  int32_t calculateNewestUploadSpeed(int seconds) {
    return netStat_.calculateNewestUploadSpeed(seconds);
  }
  int32_t calculateAvgDownloadSpeed() { return netStat_.calculateAvgDownloadSpeed(); }
  int32_t calculateAvgUploadSpeed() { return netStat_.calculateAvgUploadSpeed(); }
  void updateDownload(size_t bytes) { netStat_.updateDownload(bytes); }
  void updateUpload(size_t bytes) { netStat_.updateUpload(bytes); }
  void updateUploadSpeed(size_t bytes) { netStat_.updateUploadSpeed(bytes); }
  void updateUploadLength(size_t bytes) { netStat_.updateUploadLength(bytes); }
  int32_t getMaxDownloadSpeed() const { return netStat_.getMaxDownloadSpeed(); }
  int32_t getMaxUploadSpeed() const { return netStat_.getMaxUploadSpeed(); }
  int32_t getAvgDownloadSpeed() const { return netStat_.getAvgDownloadSpeed(); }
  int32_t getAvgUploadSpeed() const { return netStat_.getAvgUploadSpeed(); }
  // Lets tests stand in for a finished connection's measured average.
  void setAvgDownloadSpeed(int32_t speed) { netStat_.setAvgDownloadSpeed(speed); }
  int64_t getSessionDownloadLength() const { return netStat_.getSessionDownloadLength(); }
  int64_t getSessionUploadLength() const { return netStat_.getSessionUploadLength(); }
  void addSessionDownloadLength(int64_t bytes) { netStat_.addSessionDownloadLength(bytes); }
  const Timer& getDownloadStartTime() const { return netStat_.getDownloadStartTime(); }
  STATUS getStatus() const { return netStat_.getStatus(); }
  void reset() { netStat_.reset(); }
  void downloadStart() { netStat_.downloadStart(); }
  void downloadStop() { netStat_.downloadStop(); }
  TransferStat toTransferStat() { return netStat_.toTransferStat(); }

  NetStat& getNetStat() { return netStat_; }

 private:
  int64_t cuid_;
  std::string hostname_;
  std::string protocol_;
  NetStat netStat_;
};

}  // namespace quarn
