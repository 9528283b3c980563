// Calendar arithmetic on the proleptic Gregorian calendar, independent of any time zone: days
// since 1970-01-01 <-> year/month/day, and the checks Windows applies to a SYSTEMTIME.
#ifndef W98_SRC_TIME_CIVIL_H
#define W98_SRC_TIME_CIVIL_H

#include <cstdint>

#include "w98/windef.h"

namespace w98::internal {

struct CivilDate {
  std::int64_t year;
  int month;  // 1..12
  int day;    // 1..31
};

// Days since 1970-01-01 of a date (month and day in range); exact for any 64-bit year that fits.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);
CivilDate CivilFromDays(std::int64_t days);
// 0 = Sunday.
int WeekdayFromDays(std::int64_t days);
bool IsLeapYear(std::int64_t year);
int DaysInMonth(std::int64_t year, int month);

// Floor division and the matching non-negative remainder.
inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
inline std::int64_t FloorMod(std::int64_t a, std::int64_t b) {
  return a - FloorDiv(a, b) * b;
}

// True when every field of `st` is in range as SystemTimeToFileTime requires (year 1601 to
// 30827, month 1..12, day within the month, hour < 24, minute and second < 60,
// milliseconds < 1000). wDayOfWeek is ignored.
bool IsValidSystemTime(const SYSTEMTIME& st);

// Seconds since 1970 (and the milliseconds) of the wall-clock reading `st`, treated as if it
// were UTC. `st` must be valid.
std::int64_t SecondsOfSystemTime(const SYSTEMTIME& st);
// The SYSTEMTIME of a count of seconds since 1970 read as UTC, with wDayOfWeek.
SYSTEMTIME SystemTimeOfSeconds(std::int64_t seconds, int milliseconds);

}  // namespace w98::internal

#endif  // W98_SRC_TIME_CIVIL_H
