// The Win32 clock calls: the machine's clock (host time plus the offset in machine.ini) and
// the machine's time zone.
#include <ctime>

#include "core/api.h"
#include "core/clock.h"
#include "time/civil.h"
#include "time/local_time.h"
#include "time/time_zone.h"
#include "w98/winbase.h"

namespace w98::internal {

std::int32_t CurrentUtcOffset() {
  const MachineClockReading clock = ReadMachineClock();
  std::int64_t seconds = 0, nanoseconds = 0;
  UnixFromFileTime(clock.now, seconds, nanoseconds);
  return MachineTimeZoneNamed(clock.zone)->At(seconds).utc_offset;
}

namespace {

// FILETIME value -> SYSTEMTIME; the value must be below 2^63.
SYSTEMTIME SplitFileTime(std::uint64_t value) {
  const std::int64_t ticks = static_cast<std::int64_t>(value);
  const std::int64_t seconds = ticks / kTicksPerSecond - kSecondsFrom1601To1970;
  const int milliseconds = static_cast<int>(ticks % kTicksPerSecond / 10000);
  return SystemTimeOfSeconds(seconds, milliseconds);
}

std::uint64_t JoinSystemTime(const SYSTEMTIME& st) {
  return static_cast<std::uint64_t>((SecondsOfSystemTime(st) + kSecondsFrom1601To1970) *
                                        kTicksPerSecond +
                                    st.wMilliseconds * 10000LL);
}

// `value` moved by `seconds`; false when the result would leave FILETIME's range.
bool Shift(std::uint64_t value, std::int64_t seconds, std::uint64_t& out) {
  const std::int64_t delta = seconds * kTicksPerSecond;
  if (delta < 0 && value < static_cast<std::uint64_t>(-delta)) return false;
  if (delta > 0 && value > UINT64_MAX - static_cast<std::uint64_t>(delta)) return false;
  out = value + static_cast<std::uint64_t>(delta);
  return true;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace
}  // namespace w98::internal

using namespace w98::internal;

W98API void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  EnterCall();
  if (lpSystemTime != nullptr) *lpSystemTime = SplitFileTime(MachineNowFileTime());
}

W98API void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  EnterCall();
  if (lpSystemTime == nullptr) return;
  const MachineClockReading clock = ReadMachineClock();
  const std::uint64_t now = clock.now;
  std::int64_t seconds = 0, nanoseconds = 0;
  UnixFromFileTime(now, seconds, nanoseconds);
  std::uint64_t local = now;
  Shift(now, MachineTimeZoneNamed(clock.zone)->At(seconds).utc_offset, local);
  *lpSystemTime = SplitFileTime(local);
}

W98API void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  EnterCall();
  if (lpSystemTimeAsFileTime != nullptr) *lpSystemTimeAsFileTime = ToFileTime(MachineNowFileTime());
}

W98API BOOL WINAPI SetSystemTime(const SYSTEMTIME* lpSystemTime) {
  EnterCall();
  if (lpSystemTime == nullptr || !IsValidSystemTime(*lpSystemTime))
    return Fail(ERROR_INVALID_PARAMETER);
  if (!SetMachineNowFileTime(JoinSystemTime(*lpSystemTime))) return Fail(ERROR_INVALID_PARAMETER);
  return TRUE;
}

// The new local time is taken with the bias in force now, not at the new time: setting a
// summer time in winter lands an hour off, and Windows says to call SetLocalTime twice.
W98API BOOL WINAPI SetLocalTime(const SYSTEMTIME* lpSystemTime) {
  EnterCall();
  if (lpSystemTime == nullptr || !IsValidSystemTime(*lpSystemTime))
    return Fail(ERROR_INVALID_PARAMETER);
  std::uint64_t utc = 0;
  if (!Shift(JoinSystemTime(*lpSystemTime), -CurrentUtcOffset(), utc) ||
      !SetMachineNowFileTime(utc))
    return Fail(ERROR_INVALID_PARAMETER);
  return TRUE;
}

W98API BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
  EnterCall();
  if (lpFileTime == nullptr || lpLocalFileTime == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  std::uint64_t local = 0;
  if (!Shift(FromFileTime(*lpFileTime), CurrentUtcOffset(), local))
    return Fail(ERROR_INVALID_PARAMETER);
  *lpLocalFileTime = ToFileTime(local);
  return TRUE;
}

W98API BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
  EnterCall();
  if (lpLocalFileTime == nullptr || lpFileTime == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  std::uint64_t utc = 0;
  if (!Shift(FromFileTime(*lpLocalFileTime), -CurrentUtcOffset(), utc))
    return Fail(ERROR_INVALID_PARAMETER);
  *lpFileTime = ToFileTime(utc);
  return TRUE;
}

W98API BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  EnterCall();
  if (lpFileTime == nullptr || lpSystemTime == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const std::uint64_t value = FromFileTime(*lpFileTime);
  if (value >= 0x8000000000000000ULL) return Fail(ERROR_INVALID_PARAMETER);
  *lpSystemTime = SplitFileTime(value);
  return TRUE;
}

W98API BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
  EnterCall();
  if (lpSystemTime == nullptr || lpFileTime == nullptr || !IsValidSystemTime(*lpSystemTime))
    return Fail(ERROR_INVALID_PARAMETER);
  *lpFileTime = ToFileTime(JoinSystemTime(*lpSystemTime));
  return TRUE;
}

W98API DWORD WINAPI GetTickCount(void) {
  EnterCall();
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000 +
                           static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
  return static_cast<DWORD>(ms);  // wraps after 49.7 days, as on Windows
}
