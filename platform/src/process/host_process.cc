#include "process/host_process.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace w98::internal {

std::uint64_t ProcessStartTime(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return 0;
  // The command name (field 2) is in parentheses and may hold spaces: count from its end.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  // Fields after the name start at 3 (state); the start time is field 22.
  for (int index = 3; index <= 22; ++index) {
    if (!(fields >> field)) return 0;
    if (index == 3 && (field == "Z" || field == "X")) return 0;  // ended, not yet reaped
  }
  return std::strtoull(field.c_str(), nullptr, 10);
}

bool ProcessIsAlive(pid_t pid, std::uint64_t start_time) {
  if (pid <= 0) return false;
  const std::uint64_t actual = ProcessStartTime(pid);
  return actual != 0 && (start_time == 0 || actual == start_time);
}

std::uint64_t OwnStartTime() {
  static const std::uint64_t start = ProcessStartTime(::getpid());
  return start;
}

}  // namespace w98::internal
