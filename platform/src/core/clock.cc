#include "core/clock.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "core/machine.h"

namespace w98::internal {
namespace {

constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;
constexpr std::int64_t kTicksPerSecond = 10000000;

// Offsets beyond about 300 years are refused when set and ignored when read (a damaged
// machine.ini): they would take the clock before 1601, where FILETIME ends.
constexpr std::int64_t kMaxOffset = 300LL * 366 * 86400;

// The offset written in machine.ini; 0 for a damaged one.
std::int64_t OffsetOfText(const std::string& text) {
  errno = 0;
  char* end = nullptr;
  const long long offset = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || offset > kMaxOffset || offset < -kMaxOffset) return 0;
  return offset;
}

// Now on the host clock moved by `offset` seconds, as a FILETIME value.
std::uint64_t NowWithOffset(std::int64_t offset) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return FileTimeFromUnix(now.tv_sec + offset, now.tv_nsec);
}

}  // namespace

std::uint64_t FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
  return static_cast<std::uint64_t>(seconds * kTicksPerSecond + nanoseconds / 100) +
         kUnixEpochAsFileTime;
}

void UnixFromFileTime(std::uint64_t filetime, std::int64_t& seconds, std::int64_t& nanoseconds) {
  const std::int64_t since = static_cast<std::int64_t>(filetime - kUnixEpochAsFileTime);
  seconds = since / kTicksPerSecond;
  nanoseconds = (since % kTicksPerSecond) * 100;
  if (nanoseconds < 0) {
    nanoseconds += 1000000000;
    seconds -= 1;
  }
}

std::int64_t MachineClockOffset() {
  auto machine = Machine::Current();
  if (!machine) return 0;
  return OffsetOfText(machine->Setting("clock", "offset", "0"));
}

std::uint64_t MachineNowFileTime() {
  return NowWithOffset(MachineClockOffset());
}

MachineClockReading ReadMachineClock() {
  MachineClockReading reading;
  auto machine = Machine::Current();
  if (!machine) {
    reading.now = NowWithOffset(0);
    return reading;
  }
  std::vector<std::string> values = machine->Settings("clock", {{"offset", "0"}, {"timezone", ""}});
  reading.now = NowWithOffset(OffsetOfText(values[0]));
  reading.zone = std::move(values[1]);
  return reading;
}

bool SetMachineNowFileTime(std::uint64_t filetime) {
  auto machine = Machine::Current();
  if (!machine) return false;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  // Whole seconds of the target against whole seconds of the host: right after the call the
  // clock reads the second that was set (the stored offset is whole seconds).
  std::int64_t target = 0, nanoseconds = 0;
  UnixFromFileTime(filetime, target, nanoseconds);
  const std::int64_t offset = target - now.tv_sec;
  if (offset > kMaxOffset || offset < -kMaxOffset) return false;
  return machine->WriteSetting("clock", "offset", std::to_string(offset));
}

}  // namespace w98::internal
