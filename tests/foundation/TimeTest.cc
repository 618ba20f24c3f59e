#include "foundation/Time.h"

#include <gtest/gtest.h>

#include "foundation/Timer.h"
#include "foundation/util_time.h"
#include "foundation/wallclock.h"

namespace quarn {

namespace {

constexpr time_t NOV_6_1994 = 784111777;

}  // namespace

TEST(TimeTest, HttpDateFormatsInOrder) {
  struct Case {
    const char* text;
    time_t expected;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", NOV_6_1994},
      {"Sun, 06 Nov 1994 08:49:37 +0000", NOV_6_1994},
      {"Sunday, 06-Nov-94 08:49:37 GMT", NOV_6_1994},
      {"Sun Nov  6 08:49:37 1994", NOV_6_1994},
      {"Sun, 06-Nov-2094 08:49:37 GMT", 3939871777},
  };
  for (const auto& c : cases) {
    Time t = Time::parseHTTPDate(c.text);
    EXPECT_TRUE(t.good()) << c.text;
    EXPECT_EQ(c.expected, t.getTimeFromEpoch()) << c.text;
  }
  EXPECT_TRUE(Time::parseRFC850Ext("Sun, 06-Nov-2094 08:49:37 GMT").good());
  EXPECT_TRUE(Time::parseRFC850("Sun, 06-Nov-2094 08:49:37 GMT").bad());
}

TEST(TimeTest, IncompleteOrForeignTextIsBad) {
  for (const char* text :
       {"Sun, 06 Nov 1994 08:49:37 GMT ", "Sun, 06 Nov 1994 08:49:37 UTC", "", "yesterday"}) {
    Time t = Time::parseHTTPDate(text);
    EXPECT_TRUE(t.bad()) << text;
    EXPECT_EQ(0, t.getTimeFromEpoch()) << text;
  }
  std::string withNul("Sun, 06 Nov 1994 08:49:37 GMT\0x", 32);
  EXPECT_TRUE(Time::parseHTTPDate(withNul).bad());
}

TEST(TimeTest, HttpDateRoundTrip) {
  const char* text = "Sun, 06 Nov 1994 08:49:37 GMT";
  EXPECT_EQ(text, Time::parseRFC1123(text).toHTTPDate());
}

TEST(TimeTest, DifferenceIsSigned) {
  Time a(100), b(40);
  EXPECT_EQ(std::chrono::seconds(-60), a.difference(b));
  EXPECT_EQ(std::chrono::seconds(60), b.difference(a));
  a.setTimeFromEpoch(7);
  EXPECT_EQ(7, a.getTimeFromEpoch());
  EXPECT_GT(a.difference(), std::chrono::hours(24 * 365));
}

TEST(TimerTest, DifferenceNeverNegative) {
  Timer now;
  Timer later(now.getTime() + std::chrono::seconds(5));
  EXPECT_EQ(std::chrono::nanoseconds::zero(), later.difference(now));
  EXPECT_EQ(std::chrono::seconds(5), now.difference(later));
  EXPECT_EQ(std::chrono::nanoseconds::zero(), later.difference());
}

TEST(TimerTest, ZeroTimerIsADayOld) {
  Timer zero = Timer::zero();
  EXPECT_TRUE(zero.isZero());
  EXPECT_FALSE(Timer().isZero());
  EXPECT_GE(zero.difference(global::wallclock()), std::chrono::seconds(86400));
}

TEST(TimerTest, WallclockIsOneTimer) {
  EXPECT_EQ(&global::wallclock(), &global::wallclock());
}

TEST(UtilTimeTest, Difftv) {
  timeval a{10, 500000}, b{8, 700000};
  EXPECT_EQ(1800000, util::difftv(a, b));
  EXPECT_EQ(0, util::difftv(b, a));
  EXPECT_EQ(1, util::difftvsec(a, b));
  EXPECT_EQ(0, util::difftvsec(b, a));
}

}  // namespace quarn
