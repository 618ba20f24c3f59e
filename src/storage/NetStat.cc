#include "storage/NetStat.h"

#include "foundation/wallclock.h"

namespace quarn {

NetStat::NetStat()
    : status_(IDLE),
      avgDownloadSpeed_(0),
      avgUploadSpeed_(0),
      sessionDownloadLength_(0),
      sessionUploadLength_(0) {}

int32_t NetStat::calculateAvgDownloadSpeed() {
  return avgDownloadSpeed_ = downloadSpeed_.calculateAvgSpeed();
}

int32_t NetStat::calculateAvgUploadSpeed() {
  return avgUploadSpeed_ = uploadSpeed_.calculateAvgSpeed();
}

void NetStat::updateDownload(size_t bytes) {
  downloadSpeed_.update(bytes);
  sessionDownloadLength_ += bytes;
}

void NetStat::updateUpload(size_t bytes) {
  uploadSpeed_.update(bytes);
  sessionUploadLength_ += bytes;
}

void NetStat::reset() {
  downloadSpeed_.reset();
  uploadSpeed_.reset();
  downloadStartTime_ = global::wallclock();
  status_ = IDLE;
  sessionDownloadLength_ = 0;
  sessionUploadLength_ = 0;
}

void NetStat::downloadStart() {
  reset();
  status_ = ACTIVE;
}

void NetStat::downloadStop() {
  calculateAvgDownloadSpeed();
  calculateAvgUploadSpeed();
  status_ = IDLE;
}

TransferStat NetStat::toTransferStat() {
  TransferStat stat;
  stat.downloadSpeed = calculateDownloadSpeed();
  stat.uploadSpeed = calculateUploadSpeed();
  stat.sessionDownloadLength = sessionDownloadLength_;
  stat.sessionUploadLength = sessionUploadLength_;
  return stat;
}

}  // namespace quarn
