#include "core/clock.h"

#include <cstdlib>
#include <ctime>
#include <string>

#include "core/machine.h"

namespace w98::internal {
namespace {

constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

}  // namespace

std::uint64_t FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
  return static_cast<std::uint64_t>(seconds * 10000000 + nanoseconds / 100) + kUnixEpochAsFileTime;
}

void UnixFromFileTime(std::uint64_t filetime, std::int64_t& seconds, std::int64_t& nanoseconds) {
  const std::int64_t since = static_cast<std::int64_t>(filetime - kUnixEpochAsFileTime);
  seconds = since / 10000000;
  nanoseconds = (since % 10000000) * 100;
  if (nanoseconds < 0) {
    nanoseconds += 1000000000;
    seconds -= 1;
  }
}

std::uint64_t MachineNowFileTime() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::int64_t offset = 0;
  if (auto machine = Machine::Current())
    offset = std::strtoll(machine->Setting("clock", "offset", "0").c_str(), nullptr, 10);
  return FileTimeFromUnix(now.tv_sec + offset, now.tv_nsec);
}

}  // namespace w98::internal
