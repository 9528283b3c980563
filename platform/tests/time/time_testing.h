// Helpers of the clock tests: a machine with a chosen zone and clock.
#ifndef W98_TESTS_TIME_TIME_TESTING_H
#define W98_TESTS_TIME_TIME_TESTING_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/machine.h"
#include "temp_machine.h"
#include "w98/windows.h"

namespace w98::testing {

inline void SetMachineZone(const std::string& zone) {
  ASSERT_TRUE(internal::Machine::Current()->WriteSetting("clock", "timezone", zone));
}

inline SYSTEMTIME MakeTime(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = static_cast<WORD>(ms);
  return st;
}

inline std::uint64_t Ticks(const SYSTEMTIME& st) {
  FILETIME ft{};
  EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
  return (std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

inline FILETIME ToFt(std::uint64_t v) {
  return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

inline std::uint64_t FromFt(const FILETIME& ft) {
  return (std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

inline std::int64_t Seconds(const SYSTEMTIME& st) {
  return static_cast<std::int64_t>(Ticks(st) / 10000000);
}

inline std::string Show(const SYSTEMTIME& st) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u dow %u", st.wYear, st.wMonth,
                st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek);
  return text;
}

constexpr std::uint64_t kTicksPerHour = 36000000000ULL;

}  // namespace w98::testing

#endif  // W98_TESTS_TIME_TIME_TESTING_H
