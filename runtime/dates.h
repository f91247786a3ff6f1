// Date values: seconds from 1970-01-01 00:00:00 on the local wall clock,
// counted without zone or daylight-saving shift; valid up to 9999-12-31
// 23:59:59 (253402300799), -1 for no valid date.
#pragma once

#include <cstdint>

inline constexpr int64_t kNoDate = -1;
// 9999-12-31 23:59:59, the last date value; a file time after it counts as it.
inline constexpr int64_t kLastDate = 253402300799;

// The date value of local calendar fields, or -1 when they name no date in
// range.
int64_t DateFromFields(int year, int month, int day, int hour, int minute, int second);

// Date value of seconds since 1970 in UTC shifted by `offsetSeconds`; -1
// before 1970, kLastDate for every moment after it.
int64_t DateFromUtcSeconds(int64_t utcSeconds, int64_t offsetSeconds);

// The local wall clock now, in whole seconds; -1 past the range.
int64_t CurrentDate();

// Seconds the local wall clock is ahead of UTC now (negative west of UTC),
// daylight saving included (POSIX build; the Windows build shifts file times
// with FileTimeToLocalFileTime instead).
int64_t LocalOffsetNow();
