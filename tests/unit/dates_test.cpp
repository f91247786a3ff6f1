#include "runtime/dates.h"

#include <gtest/gtest.h>
#include <time.h>

#include <limits>

namespace {

TEST(DatesTest, DateFromFieldsCountsZoneFreeSecondsWithinRange) {
  const struct {
    int year, month, day, hour, minute, second;
    int64_t expected;
  } cases[] = {
      {1970, 1, 1, 0, 0, 0, 0},
      {1970, 1, 1, 23, 59, 59, 86399},
      {1970, 1, 2, 0, 0, 0, 86400},
      {2000, 2, 29, 0, 0, 0, 951782400},
      {2024, 1, 1, 0, 0, 0, 1704067200},
      {2024, 7, 1, 12, 0, 0, 1719835200},
      {2024, 4, 30, 0, 0, 0, 1714435200},
      {2038, 1, 19, 3, 14, 7, 2147483647},
      {2038, 1, 19, 3, 14, 8, 2147483648},
      {2040, 2, 29, 12, 0, 0, 2214129600},
      {9999, 12, 31, 23, 59, 59, 253402300799},
      {10000, 1, 1, 0, 0, 0, -1},
      {1969, 12, 31, 23, 59, 59, -1},
      {2001, 2, 29, 0, 0, 0, -1},
      {2024, 4, 31, 0, 0, 0, -1},
      {2024, 13, 1, 0, 0, 0, -1},
      {2024, 0, 1, 0, 0, 0, -1},
      {2024, 1, 0, 0, 0, 0, -1},
      {2024, 1, 1, 24, 0, 0, -1},
      {2024, 1, 1, 0, 60, 0, -1},
      {2024, 1, 1, 0, 0, 60, -1},
      {2024, 1, 1, -1, 0, 0, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateFromFields(c.year, c.month, c.day, c.hour, c.minute, c.second), c.expected)
        << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute << ":"
        << c.second;
  }
}

TEST(DatesTest, DateFromUtcSecondsShiftsByTheGivenOffset) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const struct {
    int64_t utc, offset, expected;
  } cases[] = {
      {1719828000, 7200, 1719835200},  // 10:00 UTC read at +2 h is 12:00
      {1719849600, -4 * 3600, 1719835200},
      {3600, -3600, 0},
      {3599, -3600, -1},  // 1969-12-31 23:59:59 local
      {2147483647, 1, 2147483648},
      {253402300799, 0, 253402300799},  // 9999-12-31 23:59:59
      {253402300799, 1, 253402300799},  // later times count as the last date
      {kMax, 0, 253402300799},
      {kMin, 0, -1},
      {kMax, 1, 253402300799},  // the shift itself overflows
      {kMin, -1, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateFromUtcSeconds(c.utc, c.offset), c.expected) << c.utc << " + " << c.offset;
  }
}

// The POSIX clock against the C library's view of local time, read from the
// same clock (time() may lag it by a tick at a second boundary); the Windows
// build checks its clock against file times in file_system_win32_test.
#ifndef _WIN32
TEST(DatesTest, CurrentDateIsTheLocalWallClockInWholeSeconds) {
  const auto now = [] {
    timespec at{};
    clock_gettime(CLOCK_REALTIME, &at);
    return at.tv_sec;
  };
  const time_t before = now();
  const int64_t current = CurrentDate();
  const time_t after = now();
  tm local{};
  ASSERT_NE(localtime_r(&before, &local), nullptr);
  EXPECT_GE(current, before + local.tm_gmtoff);
  ASSERT_NE(localtime_r(&after, &local), nullptr);
  EXPECT_LE(current, after + local.tm_gmtoff);
}
#endif

}  // namespace
