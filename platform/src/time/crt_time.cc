// The C runtime's time calls on the machine's clock and time zone, with the Microsoft C
// runtime's range: 1970-01-01 00:00:00 to 3000-12-31 23:59:59 UTC.
#include <cerrno>
#include <cstdint>

#include "core/api.h"
#include "core/clock.h"
#include "time/civil.h"
#include "time/time_zone.h"
#include "w98/time.h"

namespace w98::internal {
namespace {

constexpr __time64_t kMaxTime64 = 32535215999LL;  // 3000-12-31 23:59:59 UTC

void FillInvalid(tm* out) {
  out->tm_sec = out->tm_min = out->tm_hour = out->tm_mday = out->tm_mon = out->tm_year = -1;
  out->tm_wday = out->tm_yday = out->tm_isdst = -1;
  out->tm_gmtoff = 0;
  out->tm_zone = nullptr;
}

// Breaks a wall-clock reading (seconds since 1970 read as UTC) into `out`.
void Split(std::int64_t wall, tm* out) {
  const std::int64_t days = FloorDiv(wall, 86400);
  const std::int64_t rest = wall - days * 86400;
  const CivilDate date = CivilFromDays(days);
  out->tm_year = static_cast<int>(date.year - 1900);
  out->tm_mon = date.month - 1;
  out->tm_mday = date.day;
  out->tm_hour = static_cast<int>(rest / 3600);
  out->tm_min = static_cast<int>(rest / 60 % 60);
  out->tm_sec = static_cast<int>(rest % 60);
  out->tm_wday = WeekdayFromDays(days);
  out->tm_yday = static_cast<int>(days - DaysFromCivil(date.year, 1, 1));
}

int Convert(tm* result, const __time64_t* timer, bool local) {
  if (result == nullptr) return errno = EINVAL;
  if (timer == nullptr || *timer < 0 || *timer > kMaxTime64) {
    FillInvalid(result);
    return errno = EINVAL;
  }
  const LocalTimeType& type = local ? MachineTimeZone()->At(*timer) : TimeZone::Utc()->At(*timer);
  Split(*timer + type.utc_offset, result);
  result->tm_isdst = type.is_dst ? 1 : 0;
  result->tm_gmtoff = type.utc_offset;
  result->tm_zone = type.abbreviation.c_str();  // zones live as long as the process
  return 0;
}

}  // namespace
}  // namespace w98::internal

using namespace w98::internal;

W98API __time64_t _time64(__time64_t* timer) {
  EnterCall();
  std::int64_t seconds = 0, nanoseconds = 0;
  UnixFromFileTime(MachineNowFileTime(), seconds, nanoseconds);
  if (timer != nullptr) *timer = seconds;
  return seconds;
}

W98API int _localtime64_s(struct tm* result, const __time64_t* timer) {
  EnterCall();
  return Convert(result, timer, true);
}

W98API int _gmtime64_s(struct tm* result, const __time64_t* timer) {
  EnterCall();
  return Convert(result, timer, false);
}

W98API __time64_t _mktime64(struct tm* timeptr) {
  EnterCall();
  if (timeptr == nullptr) {
    errno = EINVAL;
    return -1;
  }
  // Normalise out-of-range fields (month 13, day 0, minute -5 ...) in 64 bits.
  const std::int64_t months = std::int64_t{timeptr->tm_year} * 12 + timeptr->tm_mon;
  const std::int64_t year = FloorDiv(months, 12) + 1900;
  if (year < 1900 || year > 3001) {
    errno = EINVAL;
    return -1;
  }
  const int month = static_cast<int>(FloorMod(months, 12)) + 1;
  const std::int64_t wall = (DaysFromCivil(year, month, 1) + timeptr->tm_mday - 1) * 86400 +
                            std::int64_t{timeptr->tm_hour} * 3600 +
                            std::int64_t{timeptr->tm_min} * 60 + timeptr->tm_sec;
  const auto zone = MachineTimeZone();
  const std::int64_t utc = zone->ToUtc(wall, timeptr->tm_isdst);
  if (utc < 0 || utc > kMaxTime64) {
    errno = EINVAL;
    return -1;
  }
  const __time64_t t = utc;
  Convert(timeptr, &t, true);
  return t;
}
