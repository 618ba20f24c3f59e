#include "storage/ServerStat.h"

#include <tuple>

#include "foundation/Logger.h"
#include "foundation/fmt.h"

namespace quarn {

const std::string ServerStat::STATUS_STRING[] = {"OK", "ERROR"};

ServerStat::ServerStat(std::string hostname, std::string protocol)
    : hostname_(std::move(hostname)),
      protocol_(std::move(protocol)),
      downloadSpeed_(0),
      singleConnectionAvgSpeed_(0),
      multiConnectionAvgSpeed_(0),
      counter_(0),
      status_(OK) {}

void ServerStat::updateDownloadSpeed(int32_t speed) {
  downloadSpeed_ = speed;
  if (speed > 0) {
    status_ = OK;
  }
  lastUpdated_.reset();
}

// The first sample replaces the average, the next three are averaged with
// equal weight, and from the fifth on the average moves by a fifth of the
// difference.
float ServerStat::movingAverage(int32_t old, int32_t speed) const {
  if (counter_ < 5) {
    float c = static_cast<float>(counter_);
    return ((c - 1) / c) * static_cast<float>(old) +
           static_cast<float>(speed) * (1.0 / static_cast<double>(counter_));
  }
  return static_cast<double>(old) * 0.8 + static_cast<double>(speed) * 0.2;
}

void ServerStat::updateSingleConnectionAvgSpeed(int32_t speed) {
  if (counter_ == 0) {
    return;
  }
  float avg = movingAverage(singleConnectionAvgSpeed_, speed);
  if (avg < static_cast<int64_t>(static_cast<double>(singleConnectionAvgSpeed_) * 0.8)) {
    QLOG_DEBUG(fmt("ServerStat:%s: resetting counter since single connection speed dropped",
                   hostname_.c_str()));
    counter_ = 0;
  }
  QLOG_DEBUG(
      fmt("ServerStat:%s: singleConnectionAvgSpeed_ old:%.2fKB/s new:%.2fKB/s "
          "last:%.2fKB/s",
          hostname_.c_str(), singleConnectionAvgSpeed_ / 1024.0, avg / 1024.0, speed / 1024.0));
  singleConnectionAvgSpeed_ = static_cast<int32_t>(avg);
}

void ServerStat::updateMultiConnectionAvgSpeed(int32_t speed) {
  if (counter_ == 0) {
    return;
  }
  float avg = movingAverage(multiConnectionAvgSpeed_, speed);
  QLOG_DEBUG(
      fmt("ServerStat:%s: multiConnectionAvgSpeed_ old:%.2fKB/s new:%.2fKB/s "
          "last:%.2fKB/s",
          hostname_.c_str(), multiConnectionAvgSpeed_ / 1024.0, avg / 1024.0, speed / 1024.0));
  multiConnectionAvgSpeed_ = static_cast<int32_t>(avg);
}

void ServerStat::setStatus(const std::string& status) {
  for (int i = OK; i <= ERROR; ++i) {
    if (status == STATUS_STRING[i]) {
      status_ = static_cast<STATUS>(i);
      return;
    }
  }
}

void ServerStat::setStatusInternal(STATUS status) {
  QLOG_DEBUG(fmt("ServerStat: set status %s for %s (%s)", STATUS_STRING[status].c_str(),
                 hostname_.c_str(), protocol_.c_str()));
  status_ = status;
  lastUpdated_.reset();
}

void ServerStat::setOK() {
  setStatusInternal(OK);
}

void ServerStat::setError() {
  setStatusInternal(ERROR);
}

bool ServerStat::operator<(const ServerStat& other) const {
  return std::tie(hostname_, protocol_) < std::tie(other.hostname_, other.protocol_);
}

bool ServerStat::operator==(const ServerStat& other) const {
  return hostname_ == other.hostname_ && protocol_ == other.protocol_;
}

std::string ServerStat::toString() const {
  return fmt(
      "host=%s, protocol=%s, dl_speed=%d, sc_avg_speed=%d, mc_avg_speed=%d, "
      "last_updated=%lld, counter=%d, status=%s",
      hostname_.c_str(), protocol_.c_str(), downloadSpeed_, singleConnectionAvgSpeed_,
      multiConnectionAvgSpeed_, static_cast<long long>(lastUpdated_.getTimeFromEpoch()), counter_,
      STATUS_STRING[status_].c_str());
}

}  // namespace quarn
