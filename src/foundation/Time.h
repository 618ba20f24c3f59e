#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace quarn {

// A calendar time on the system clock; a bad time is the epoch marked invalid.
class Time {
 public:
  using Clock = std::chrono::system_clock;
  using time_point = std::chrono::time_point<Clock, std::chrono::microseconds>;

  // Now.
  Time();
  // Seconds since the epoch.
  explicit Time(time_t sec);

  void reset();
  void setTimeFromEpoch(time_t sec);

  // Now minus this time.
  std::chrono::microseconds difference() const;
  // The other time minus this time.
  std::chrono::microseconds difference(const Time& other) const;

  time_t getTimeFromEpoch() const;
  bool good() const { return good_; }
  bool bad() const { return !good_; }

  std::string toHTTPDate() const;

  // The time strptime reads with the format, as UTC; a bad time when the text
  // is not matched completely.
  static Time parse(const std::string& datetime, const std::string& format);
  static Time parseRFC1123(const std::string& datetime);
  static Time parseRFC1123Alt(const std::string& datetime);
  static Time parseRFC850(const std::string& datetime);
  static Time parseRFC850Ext(const std::string& datetime);
  static Time parseAsctime(const std::string& datetime);
  // The first good result of the HTTP date formats.
  static Time parseHTTPDate(const std::string& datetime);

  static Time null();

  bool operator==(const Time& other) const = default;

 private:
  time_point tp_;
  bool good_;
};

}  // namespace quarn
