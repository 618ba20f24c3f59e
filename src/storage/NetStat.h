#pragma once

#include <cstdint>

#include "foundation/Timer.h"
#include "storage/SpeedCalc.h"
#include "storage/TransferStat.h"

namespace quarn {

// Download and upload speeds with session totals and a start time.
class NetStat {
 public:
  enum STATUS { IDLE = 0, ACTIVE = 1 };

  NetStat();

  int32_t calculateDownloadSpeed() { return downloadSpeed_.calculateSpeed(); }
  int32_t calculateUploadSpeed() { return uploadSpeed_.calculateSpeed(); }
  int32_t calculateNewestDownloadSpeed(int seconds) {
    return downloadSpeed_.calculateNewestSpeed(seconds);
  }
  int32_t calculateNewestUploadSpeed(int seconds) {
    return uploadSpeed_.calculateNewestSpeed(seconds);
  }
  int32_t calculateAvgDownloadSpeed();
  int32_t calculateAvgUploadSpeed();

  void updateDownload(size_t bytes);
  void updateUpload(size_t bytes);
  void updateUploadSpeed(size_t bytes) { uploadSpeed_.update(bytes); }
  void updateUploadLength(size_t bytes) { sessionUploadLength_ += bytes; }

  int32_t getMaxDownloadSpeed() const { return downloadSpeed_.getMaxSpeed(); }
  int32_t getMaxUploadSpeed() const { return uploadSpeed_.getMaxSpeed(); }
  int32_t getAvgDownloadSpeed() const { return avgDownloadSpeed_; }
  int32_t getAvgUploadSpeed() const { return avgUploadSpeed_; }
  void setAvgDownloadSpeed(int32_t speed) { avgDownloadSpeed_ = speed; }
  int64_t getSessionDownloadLength() const { return sessionDownloadLength_; }
  int64_t getSessionUploadLength() const { return sessionUploadLength_; }
  void addSessionDownloadLength(int64_t bytes) { sessionDownloadLength_ += bytes; }
  const Timer& getDownloadStartTime() const { return downloadStartTime_; }
  STATUS getStatus() const { return status_; }

  void reset();
  void downloadStart();
  void downloadStop();
  TransferStat toTransferStat();

 private:
  SpeedCalc downloadSpeed_;
  SpeedCalc uploadSpeed_;
  Timer downloadStartTime_;
  STATUS status_;
  int32_t avgDownloadSpeed_;
  int32_t avgUploadSpeed_;
  int64_t sessionDownloadLength_;
  int64_t sessionUploadLength_;
};

}  // namespace quarn
