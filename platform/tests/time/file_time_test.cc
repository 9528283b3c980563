// FILETIME <-> SYSTEMTIME, and the local-time conversions of file times with the bias in
// force now.
#include <gtest/gtest.h>

#include "time_testing.h"

namespace w98::testing {
namespace {

TEST(FileTimeToSystemTime, SplitsKnownInstants) {
  struct Case {
    std::uint64_t ticks;
    const char* expected;
  } cases[] = {
      {0, "1601-01-01 00:00:00.000 dow 1"},
      {116444736000000000ULL, "1970-01-01 00:00:00.000 dow 4"},
      {125911584000000000ULL, "2000-01-01 00:00:00.000 dow 6"},
      {125962560000000000ULL + 10000ULL * 1234, "2000-02-29 00:00:01.234 dow 2"},
      {0x7FFFFFFFFFFFFFFFULL, "30828-09-14 02:48:05.477 dow 4"},
  };
  for (const Case& c : cases) {
    SYSTEMTIME st;
    std::memset(&st, 0xAB, sizeof st);
    const FILETIME ft = ToFt(c.ticks);
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << c.ticks;
    EXPECT_EQ(Show(st), c.expected) << "for " << c.ticks;
    if (st.wYear <= 30827) {
      EXPECT_EQ(Ticks(st), c.ticks - c.ticks % 10000);
    }
  }
}

TEST(FileTimeToSystemTime, RefusesValuesFrom2To63) {
  for (std::uint64_t ticks : {0x8000000000000000ULL, 0xFFFFFFFFFFFFFFFFULL}) {
    SYSTEMTIME st;
    std::memset(&st, 0xAB, sizeof st);
    const FILETIME ft = ToFt(ticks);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(st.wYear, 0xABAB) << "output touched on failure";
  }
}

TEST(SystemTimeToFileTime, RefusesFieldsOutOfRangeAndIgnoresDayOfWeek) {
  struct Case {
    SYSTEMTIME st;
    bool valid;
  } cases[] = {
      {MakeTime(2000, 2, 29), true},           {MakeTime(1900, 2, 29), false},
      {MakeTime(2023, 2, 29), false},          {MakeTime(1601, 1, 1), true},
      {MakeTime(1600, 12, 31), false},         {MakeTime(30827, 12, 31, 23, 59, 59, 999), true},
      {MakeTime(30828, 1, 1), false},          {MakeTime(2024, 0, 1), false},
      {MakeTime(2024, 13, 1), false},          {MakeTime(2024, 4, 31), false},
      {MakeTime(2024, 1, 1, 24), false},       {MakeTime(2024, 1, 1, 0, 60), false},
      {MakeTime(2024, 1, 1, 0, 0, 60), false}, {MakeTime(2024, 1, 1, 0, 0, 0, 1000), false},
  };
  for (Case& c : cases) {
    c.st.wDayOfWeek = 6;  // wrong for most dates; never checked
    FILETIME ft{0x11111111, 0x22222222};
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SystemTimeToFileTime(&c.st, &ft) != FALSE, c.valid) << Show(c.st);
    if (!c.valid) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << Show(c.st);
      EXPECT_EQ(ft.dwLowDateTime, 0x11111111u) << "output touched on failure";
    }
  }
}

// Windows 98 converts every file time with the bias in force now, not with the bias of the
// file's own date, so a January file seen in July moves by the summer bias.
TEST(FileTimeToLocalFileTime, UsesTheBiasInForceNowOnTheMachineClock) {
  TempMachine machine;
  for (const char* zone : {"Europe/Berlin", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
    SetMachineZone(zone);
    struct Case {
      SYSTEMTIME clock;  // the machine's clock, UTC
      int bias_hours;    // the bias every file time gets then
    } cases[] = {{MakeTime(2024, 7, 15, 12), 2}, {MakeTime(2024, 1, 15, 12), 1}};
    for (const Case& c : cases) {
      ASSERT_TRUE(SetSystemTime(&c.clock));
      for (const SYSTEMTIME& file : {MakeTime(2023, 1, 10, 8), MakeTime(2023, 7, 10, 8)}) {
        const FILETIME utc = ToFt(Ticks(file));
        FILETIME local{}, back{};
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        EXPECT_EQ(FromFt(local), Ticks(file) + c.bias_hours * kTicksPerHour)
            << zone << ": file " << Show(file) << " seen at " << Show(c.clock);
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
        EXPECT_EQ(FromFt(back), Ticks(file)) << "round trip with the current bias";
      }
    }
  }
}

TEST(FileTimeToLocalFileTime, MovesWithTheZoneOfTheMachine) {
  TempMachine machine;
  const SYSTEMTIME clock = MakeTime(2024, 1, 15, 12);
  ASSERT_TRUE(SetSystemTime(&clock));
  struct Case {
    const char* zone;
    std::int64_t bias_seconds;
  } cases[] = {
      {"America/New_York", -5 * 3600}, {"Asia/Kolkata", 19800}, {"UTC", 0},
      {"<+0330>-3:30", 12600},         {"no/such/zone", 0},     {"../../../../etc/passwd", 0}};
  for (const Case& c : cases) {
    SetMachineZone(c.zone);
    const FILETIME utc = ToFt(Ticks(MakeTime(2020, 6, 1)));
    FILETIME local{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_EQ(static_cast<std::int64_t>(FromFt(local) - FromFt(utc)) / 10000000, c.bias_seconds)
        << c.zone;
  }
}

TEST(FileTimeToLocalFileTime, RefusesResultsOutsideFileTime) {
  TempMachine machine;
  SetMachineZone("America/New_York");
  const FILETIME tiny = ToFt(10);
  FILETIME out{7, 7};
  EXPECT_FALSE(FileTimeToLocalFileTime(&tiny, &out));
  EXPECT_EQ(out.dwLowDateTime, 7u);
  SetMachineZone("Asia/Tokyo");
  EXPECT_FALSE(LocalFileTimeToFileTime(&tiny, &out));
}

}  // namespace
}  // namespace w98::testing
