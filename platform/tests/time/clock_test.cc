// The machine's clock: an offset in machine.ini over the host clock, seen by every w98 time
// call of every process of the machine.
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>

#include <gtest/gtest.h>

#include "time_testing.h"
#include "w98/time.h"

namespace w98::testing {
namespace {

std::int64_t HostNow() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

std::int64_t MachineUtcNow() {
  SYSTEMTIME st{};
  GetSystemTime(&st);
  return Seconds(st) - 11644473600LL;
}

TEST(MachineClock, SettingItBackADayMovesEveryTimeButNotTheHostClock) {
  TempMachine machine;
  SetMachineZone("Europe/Berlin");
  const std::int64_t host_before = HostNow();
  SYSTEMTIME local{};
  GetLocalTime(&local);
  const std::int64_t local_before = Seconds(local);
  const std::int64_t crt_before = _time64(nullptr);
  EXPECT_LE(std::abs(crt_before - host_before), 2) << "a fresh machine runs on host time";

  // One day back, local time (the bias is the same a day earlier except across a DST change,
  // so compare UTC readings too).
  const std::int64_t target = local_before - 86400;
  SYSTEMTIME back{};
  const FILETIME target_ft = ToFt(static_cast<std::uint64_t>(target) * 10000000);
  ASSERT_TRUE(FileTimeToSystemTime(&target_ft, &back));
  back.wMilliseconds = 0;
  ASSERT_TRUE(SetLocalTime(&back));

  GetLocalTime(&local);
  EXPECT_NEAR(static_cast<double>(Seconds(local)), static_cast<double>(target), 3.0)
      << "GetLocalTime reads " << Show(local);
  EXPECT_NEAR(static_cast<double>(_time64(nullptr)), static_cast<double>(crt_before - 86400),
              3600 + 3.0);
  EXPECT_NEAR(static_cast<double>(MachineUtcNow()), static_cast<double>(_time64(nullptr)), 2.0);
  FILETIME ft{};
  GetSystemTimeAsFileTime(&ft);
  EXPECT_NEAR(static_cast<double>(FromFt(ft) / 10000000 - 11644473600LL),
              static_cast<double>(_time64(nullptr)), 2.0);
  EXPECT_LE(std::abs(HostNow() - host_before), 5) << "the host clock must not move";

  const std::string offset = internal::Machine::Current()->Setting("clock", "offset");
  EXPECT_NEAR(std::stod(offset), -86400.0, 3600 + 3.0) << "machine.ini [clock] offset=" << offset;
}

TEST(MachineClock, AClockSetInAnotherProcessMovesThisOne) {
  TempMachine machine;
  SetMachineZone("UTC");
  const std::int64_t before = _time64(nullptr);
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    const SYSTEMTIME st = MakeTime(1999, 12, 31, 23, 59, 0);
    ::_exit(SetSystemTime(&st) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  SYSTEMTIME now{};
  GetSystemTime(&now);
  EXPECT_EQ(now.wYear, 1999) << "GetSystemTime reads " << Show(now) << " (was " << before << ")";
  EXPECT_EQ(now.wMonth, 12);
  EXPECT_EQ(now.wDayOfWeek, 5) << "1999-12-31 was a Friday";
  EXPECT_NEAR(static_cast<double>(_time64(nullptr)), 946684740.0, 3.0);
}

// SetLocalTime converts with the bias in force when it is called, so a summer time set in
// winter is an hour off until it is set a second time.
TEST(MachineClock, SetLocalTimeUsesTheCurrentBiasSoTheSecondCallIsExact) {
  TempMachine machine;
  SetMachineZone("Europe/Berlin");
  const SYSTEMTIME winter = MakeTime(2024, 1, 10, 12);
  ASSERT_TRUE(SetLocalTime(&winter));
  SYSTEMTIME now{};
  GetLocalTime(&now);
  EXPECT_NEAR(static_cast<double>(Seconds(now)), static_cast<double>(Seconds(winter)), 3.0);

  const SYSTEMTIME summer = MakeTime(2024, 7, 10, 12);
  ASSERT_TRUE(SetLocalTime(&summer));
  GetLocalTime(&now);
  EXPECT_NEAR(static_cast<double>(Seconds(now)), static_cast<double>(Seconds(summer) + 3600), 3.0)
      << "first call took winter's bias: " << Show(now);
  ASSERT_TRUE(SetLocalTime(&summer));
  GetLocalTime(&now);
  EXPECT_NEAR(static_cast<double>(Seconds(now)), static_cast<double>(Seconds(summer)), 3.0)
      << "second call: " << Show(now);
  SYSTEMTIME utc{};
  GetSystemTime(&utc);
  EXPECT_NEAR(static_cast<double>(Seconds(utc)), static_cast<double>(Seconds(summer) - 7200), 3.0);
}

TEST(MachineClock, RefusesInvalidTimesAndKeepsTheClock) {
  TempMachine machine;
  const std::int64_t before = _time64(nullptr);
  for (const SYSTEMTIME& bad :
       {MakeTime(2024, 2, 30), MakeTime(2024, 13, 1), MakeTime(1500, 1, 1)}) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetLocalTime(&bad)) << Show(bad);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetSystemTime(&bad)) << Show(bad);
  }
  EXPECT_FALSE(SetLocalTime(nullptr));
  EXPECT_LE(std::abs(_time64(nullptr) - before), 2);
}

TEST(MachineClock, IgnoresADamagedOffset) {
  TempMachine machine;
  for (const char* offset : {"abc", "99999999999999999999", "-9000000000000"}) {
    ASSERT_TRUE(internal::Machine::Current()->WriteSetting("clock", "offset", offset));
    EXPECT_LE(std::abs(_time64(nullptr) - HostNow()), 2) << "offset=" << offset;
  }
}

}  // namespace
}  // namespace w98::testing
