// Conversions between the machine clock's UTC and local time, shared by the Win32 and C
// runtime time calls.
#ifndef W98_SRC_TIME_LOCAL_TIME_H
#define W98_SRC_TIME_LOCAL_TIME_H

#include <cstdint>

namespace w98::internal {

constexpr std::int64_t kTicksPerSecond = 10000000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;

// The machine zone's offset from UTC (seconds east) in force now on the machine's clock:
// the bias that Windows 98 applies to every file time, whatever the file's date.
std::int32_t CurrentUtcOffset();

}  // namespace w98::internal

#endif  // W98_SRC_TIME_LOCAL_TIME_H
