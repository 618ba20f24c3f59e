#pragma once

#include <cstdint>
#include <string>

#include "foundation/Time.h"

namespace quarn {

// What the program remembers of one server (host and protocol): how fast the
// downloads from it went and whether it failed.
class ServerStat {
 public:
  enum STATUS { OK = 0, ERROR };
  static const std::string STATUS_STRING[];

  ServerStat(std::string hostname, std::string protocol);

  const std::string& getHostname() const { return hostname_; }
  const std::string& getProtocol() const { return protocol_; }

  int32_t getDownloadSpeed() const { return downloadSpeed_; }
  void setDownloadSpeed(int32_t speed) { downloadSpeed_ = speed; }
  // Also marks the server OK when the speed is positive.
  void updateDownloadSpeed(int32_t speed);

  int32_t getSingleConnectionAvgSpeed() const { return singleConnectionAvgSpeed_; }
  void setSingleConnectionAvgSpeed(int32_t speed) { singleConnectionAvgSpeed_ = speed; }
  void updateSingleConnectionAvgSpeed(int32_t speed);
  int32_t getMultiConnectionAvgSpeed() const { return multiConnectionAvgSpeed_; }
  void setMultiConnectionAvgSpeed(int32_t speed) { multiConnectionAvgSpeed_ = speed; }
  void updateMultiConnectionAvgSpeed(int32_t speed);

  int32_t getCounter() const { return counter_; }
  void setCounter(int32_t value) { counter_ = value; }
  void increaseCounter() { ++counter_; }

  const Time& getLastUpdated() const { return lastUpdated_; }
  void setLastUpdated(const Time& time) { lastUpdated_ = time; }

  STATUS getStatus() const { return status_; }
  void setStatus(STATUS status) { status_ = status; }
  // "OK" or "ERROR"; any other word changes nothing.
  void setStatus(const std::string& status);
  void setOK();
  void setError();
  bool isOK() const { return status_ == OK; }
  bool isError() const { return status_ == ERROR; }

  bool operator<(const ServerStat& other) const;
  bool operator==(const ServerStat& other) const;

  // One line of the server-statistics file, without the line end.
  std::string toString() const;

 private:
  void setStatusInternal(STATUS status);
  float movingAverage(int32_t old, int32_t speed) const;

  std::string hostname_;
  std::string protocol_;
  int32_t downloadSpeed_;
  int32_t singleConnectionAvgSpeed_;
  int32_t multiConnectionAvgSpeed_;
  int32_t counter_;
  STATUS status_;
  Time lastUpdated_;
};

}  // namespace quarn
