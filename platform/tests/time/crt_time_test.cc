// The C runtime's local time on the machine's zone, across daylight-saving changes.
#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "time_testing.h"
#include "w98/time.h"

namespace w98::testing {
namespace {

std::string ShowTm(const tm& t) {
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d wday %d yday %d dst %d",
                t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_wday,
                t.tm_yday, t.tm_isdst);
  return text;
}

tm Fields(int y, int mo, int d, int h, int mi, int s, int isdst) {
  tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  t.tm_isdst = isdst;
  return t;
}

// The zones as the database names them and as POSIX rules (no database needed), plus a
// southern zone whose summer spans the new year, far past the database's last transition.
const char* const kBerlinZones[] = {"Europe/Berlin", "CET-1CEST,M3.5.0,M10.5.0/3"};

TEST(LocalTime64, FollowsDaylightSavingChanges) {
  TempMachine machine;
  struct Case {
    const char* zone;
    __time64_t utc;
    const char* expected;
  } cases[] = {
      // 2024-03-31 01:00:00 UTC: Berlin springs from 02:00 CET to 03:00 CEST.
      {"Europe/Berlin", 1711846799, "2024-03-31 01:59:59 wday 0 yday 90 dst 0"},
      {"Europe/Berlin", 1711846800, "2024-03-31 03:00:00 wday 0 yday 90 dst 1"},
      // 2024-10-27 01:00:00 UTC: back from 03:00 CEST to 02:00 CET.
      {"Europe/Berlin", 1729990799, "2024-10-27 02:59:59 wday 0 yday 300 dst 1"},
      {"Europe/Berlin", 1729990800, "2024-10-27 02:00:00 wday 0 yday 300 dst 0"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1711846800, "2024-03-31 03:00:00 wday 0 yday 90 dst 1"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1729990800, "2024-10-27 02:00:00 wday 0 yday 300 dst 0"},
      // New York, 2024-03-10 07:00 UTC: 02:00 EST -> 03:00 EDT.
      {"America/New_York", 1710053999, "2024-03-10 01:59:59 wday 0 yday 69 dst 0"},
      {"America/New_York", 1710054000, "2024-03-10 03:00:00 wday 0 yday 69 dst 1"},
      // Sydney in 2090 (beyond the database's table: the zone's rule decides); January is summer.
      {"Australia/Sydney", 3788258400, "2090-01-17 01:00:00 wday 2 yday 16 dst 1"},
      {"Australia/Sydney", 3804062400, "2090-07-18 22:00:00 wday 2 yday 198 dst 0"},
      {"UTC", 0, "1970-01-01 00:00:00 wday 4 yday 0 dst 0"},
      {"UTC", 32535215999, "3000-12-31 23:59:59 wday 3 yday 364 dst 0"},
  };
  for (const Case& c : cases) {
    SetMachineZone(c.zone);
    tm t;
    std::memset(&t, 0x5A, sizeof t);
    ASSERT_EQ(_localtime64_s(&t, &c.utc), 0) << c.zone << " " << c.utc;
    EXPECT_EQ(ShowTm(t), c.expected) << c.zone << " at " << c.utc;
  }
}

TEST(GmTime64, IgnoresTheMachineZone) {
  TempMachine machine;
  SetMachineZone("Asia/Tokyo");
  const __time64_t t = 951782400;  // 2000-02-29 00:00:00 UTC
  tm out{};
  ASSERT_EQ(_gmtime64_s(&out, &t), 0);
  EXPECT_EQ(ShowTm(out), "2000-02-29 00:00:00 wday 2 yday 59 dst 0");
}

TEST(MkTime64, ResolvesSkippedAndRepeatedHours) {
  TempMachine machine;
  struct Case {
    tm in;
    __time64_t expected;
    const char* normalised;
  } cases[] = {
      // An ordinary winter and summer time, zone decides.
      {Fields(2024, 1, 15, 12, 0, 0, -1), 1705316400, "2024-01-15 12:00:00 wday 1 yday 14 dst 0"},
      {Fields(2024, 7, 15, 12, 0, 0, -1), 1721037600, "2024-07-15 12:00:00 wday 1 yday 196 dst 1"},
      // 02:30 on the spring-forward day does not exist: it becomes 03:30 summer time.
      {Fields(2024, 3, 31, 2, 30, 0, -1), 1711848600, "2024-03-31 03:30:00 wday 0 yday 90 dst 1"},
      // 02:30 on the fall-back day happens twice: the earlier (summer) one, unless told.
      {Fields(2024, 10, 27, 2, 30, 0, -1), 1729989000, "2024-10-27 02:30:00 wday 0 yday 300 dst 1"},
      {Fields(2024, 10, 27, 2, 30, 0, 0), 1729992600, "2024-10-27 02:30:00 wday 0 yday 300 dst 0"},
      {Fields(2024, 10, 27, 2, 30, 0, 1), 1729989000, "2024-10-27 02:30:00 wday 0 yday 300 dst 1"},
      // Told "daylight saving" in winter: the reading is an hour earlier than standard time.
      {Fields(2024, 1, 15, 12, 0, 0, 1), 1705312800, "2024-01-15 11:00:00 wday 1 yday 14 dst 0"},
      // Fields out of range are normalised: 2023-14-32 25:61:61 is 2024-03-04 02:02:01.
      {Fields(2023, 14, 32, 25, 61, 61, -1), 1709514121,
       "2024-03-04 02:02:01 wday 1 yday 63 dst 0"},
      {Fields(2024, 1, 0, 0, 0, -1, -1), 1703977199, "2023-12-30 23:59:59 wday 6 yday 363 dst 0"},
  };
  for (const char* zone : kBerlinZones) {
    SetMachineZone(zone);
    for (const Case& c : cases) {
      tm t = c.in;
      EXPECT_EQ(_mktime64(&t), c.expected) << zone << ": " << ShowTm(c.in);
      EXPECT_EQ(ShowTm(t), c.normalised) << zone << ": " << ShowTm(c.in);
    }
  }
}

TEST(MkTime64, RoundTripsLocalTimeOverAYearOfHours) {
  TempMachine machine;
  for (const char* zone : {"Europe/Berlin", "America/New_York", "Australia/Sydney"}) {
    SetMachineZone(zone);
    for (__time64_t t = 1704067200; t < 1704067200 + 366 * 86400; t += 1800) {
      tm local{};
      ASSERT_EQ(_localtime64_s(&local, &t), 0);
      tm again = local;
      ASSERT_EQ(_mktime64(&again), t) << zone << " " << ShowTm(local);
    }
  }
}

TEST(CrtTime, RefusesTimesOutsideTheRuntimeRange) {
  TempMachine machine;
  SetMachineZone("UTC");
  for (__time64_t t : {__time64_t{-1}, __time64_t{32535216000}}) {
    tm out;
    std::memset(&out, 0x5A, sizeof out);
    EXPECT_EQ(_localtime64_s(&out, &t), EINVAL) << t;
    EXPECT_EQ(out.tm_year, -1);
    EXPECT_EQ(out.tm_mday, -1);
    EXPECT_EQ(_gmtime64_s(&out, &t), EINVAL);
  }
  const __time64_t zero = 0;
  EXPECT_EQ(_localtime64_s(nullptr, &zero), EINVAL);
  tm huge = Fields(2024, 1, 1, 0, 0, 0, -1);
  huge.tm_year = 2147483647;
  for (tm t : {Fields(1969, 12, 31, 23, 59, 59, -1), Fields(3001, 1, 1, 0, 0, 0, -1), huge})
    EXPECT_EQ(_mktime64(&t), -1) << ShowTm(t);
  EXPECT_EQ(_mktime64(nullptr), -1);
}

}  // namespace
}  // namespace w98::testing
