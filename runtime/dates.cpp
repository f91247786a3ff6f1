// Date values from calendar fields and from UTC seconds, computed with plain
// day arithmetic so that no time zone of the C library enters the count.
#include "runtime/dates.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int kFirstYear = 1970;
constexpr int kLastYear = 9999;

bool IsLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[month - 1];
}

// Days from 1970-01-01 to the given proleptic Gregorian date (H. Hinnant's
// days_from_civil); valid for every year the range check lets through.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

}  // namespace

int64_t DateFromFields(int year, int month, int day, int hour, int minute, int second) {
  if (year < kFirstYear || year > kLastYear) return kNoDate;
  if (month < 1 || month > 12) return kNoDate;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return kNoDate;
  }
  if (day < 1 || day > DaysInMonth(year, month)) return kNoDate;
  return DaysFromCivil(year, month, day) * kSecondsPerDay + int64_t{hour} * 3600 +
         int64_t{minute} * 60 + second;
}

int64_t DateFromUtcSeconds(int64_t utcSeconds, int64_t offsetSeconds) {
  // The local wall clock counted without zone is the shifted count itself.
  int64_t local = 0;
  if (__builtin_add_overflow(utcSeconds, offsetSeconds, &local)) {
    return utcSeconds > 0 ? kLastDate : kNoDate;
  }
  if (local < 0) return kNoDate;
  // Past the last date value: the newest date there is, never "no date",
  // which would make the file the oldest of all.
  return local > kLastDate ? kLastDate : local;
}
