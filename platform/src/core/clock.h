// The machine's clock: host time plus the offset kept in machine.ini ([clock] offset, seconds).
// The offset is re-read whenever machine.ini changes, so a clock set by another process (the
// w98 tool, the Date/Time applet) moves every w98 time of this one too.
#ifndef W98_SRC_CORE_CLOCK_H
#define W98_SRC_CORE_CLOCK_H

#include <cstdint>
#include <string>

#include "w98/windef.h"

namespace w98::internal {

// Now on the machine's clock, in 100-ns units since 1601-01-01 UTC (a FILETIME value).
std::uint64_t MachineNowFileTime();

// Moves the machine's clock so that it reads `filetime` now (in whole seconds): stores the
// offset from the host clock in machine.ini. False when there is no machine or machine.ini
// cannot be written. The host clock is never touched.
bool SetMachineNowFileTime(std::uint64_t filetime);

// The machine clock's offset from the host clock in seconds ([clock] offset; 0 when missing).
std::int64_t MachineClockOffset();

// The machine's clock and its time zone's name ([clock] timezone; "" for the host's zone), as
// of one look at machine.ini.
struct MachineClockReading {
  std::uint64_t now = 0;  // a FILETIME value, as MachineNowFileTime gives it
  std::string zone;
};
MachineClockReading ReadMachineClock();

// FILETIME value <-> host seconds and nanoseconds since 1970.
std::uint64_t FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds);
void UnixFromFileTime(std::uint64_t filetime, std::int64_t& seconds, std::int64_t& nanoseconds);

inline FILETIME ToFileTime(std::uint64_t value) {
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}
inline std::uint64_t FromFileTime(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

}  // namespace w98::internal

#endif  // W98_SRC_CORE_CLOCK_H
