// The local wall clock on POSIX: the real-time clock split by localtime_r.
#include <time.h>

#include "runtime/dates.h"

int64_t CurrentDate() {
  timespec now{};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return kNoDate;
  // Whole seconds: the fraction in tv_nsec is dropped, never rounded.
  const time_t seconds = now.tv_sec;
  tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return kNoDate;
  return DateFromFields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec);
}

int64_t LocalOffsetNow() {
  const time_t now = time(nullptr);
  tm local{};
  if (localtime_r(&now, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}
