#include "foundation/Time.h"

#include <climits>
#include <cstring>

namespace quarn {

namespace {

Time::time_point now() {
  return std::chrono::time_point_cast<std::chrono::microseconds>(Time::Clock::now());
}

}  // namespace

Time::Time() : tp_(now()), good_(true) {}

Time::Time(time_t sec) : tp_(std::chrono::seconds(sec)), good_(true) {}

void Time::reset() {
  tp_ = now();
  good_ = true;
}

void Time::setTimeFromEpoch(time_t sec) {
  tp_ = time_point(std::chrono::seconds(sec));
  good_ = true;
}

std::chrono::microseconds Time::difference() const {
  return now() - tp_;
}

std::chrono::microseconds Time::difference(const Time& other) const {
  return other.tp_ - tp_;
}

time_t Time::getTimeFromEpoch() const {
  return std::chrono::duration_cast<std::chrono::seconds>(tp_.time_since_epoch()).count();
}

std::string Time::toHTTPDate() const {
  time_t t = getTimeFromEpoch();
  struct tm tm;
  char buf[32];
  if (!gmtime_r(&t, &tm) || strftime(buf, sizeof(buf), "%a, %d %b %Y %H:%M:%S GMT", &tm) == 0) {
    return std::string();
  }
  return buf;
}

Time Time::parse(const std::string& datetime, const std::string& format) {
  struct tm tm;
  memset(&tm, 0, sizeof(tm));
  const char* end = strptime(datetime.c_str(), format.c_str(), &tm);
  if (end != datetime.c_str() + datetime.size()) {
    return null();
  }
  time_t t = timegm(&tm);
  if (tm.tm_year >= 2038 - 1900 && t == -1) {
    t = INT32_MAX;
  }
  return Time(t);
}

Time Time::parseRFC1123(const std::string& datetime) {
  return parse(datetime, "%a, %d %b %Y %H:%M:%S GMT");
}

Time Time::parseRFC1123Alt(const std::string& datetime) {
  return parse(datetime, "%a, %d %b %Y %H:%M:%S +0000");
}

Time Time::parseRFC850(const std::string& datetime) {
  return parse(datetime, "%a, %d-%b-%y %H:%M:%S GMT");
}

Time Time::parseRFC850Ext(const std::string& datetime) {
  return parse(datetime, "%a, %d-%b-%Y %H:%M:%S GMT");
}

Time Time::parseAsctime(const std::string& datetime) {
  return parse(datetime, "%a %b %d %H:%M:%S %Y");
}

Time Time::parseHTTPDate(const std::string& datetime) {
  Time (*parsers[])(const std::string&) = {parseRFC1123, parseRFC1123Alt, parseRFC850, parseAsctime,
                                           parseRFC850Ext};
  for (auto parser : parsers) {
    Time t = parser(datetime);
    if (t.good()) {
      return t;
    }
  }
  return null();
}

Time Time::null() {
  Time t(0);
  t.good_ = false;
  return t;
}

}  // namespace quarn
