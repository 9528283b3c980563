#include "process/power_state.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "core/machine.h"
#include "process/host_process.h"
#include "process/process_table.h"

namespace w98::internal {
namespace {

std::filesystem::path RunFile(const char* name) {
  auto machine = Machine::Current();
  return machine ? machine->RunFolder() / name : std::filesystem::path();
}

}  // namespace

PowerState RecordedPowerState() {
  const auto path = RunFile("power");
  if (path.empty()) return PowerState::kOff;
  std::ifstream in(path);
  std::string word;
  in >> word;
  if (word == "on") return PowerState::kOn;
  if (word == "starting") {
    long long pid = 0;
    unsigned long long start = 0;
    in >> pid >> start;
    if (ProcessIsAlive(static_cast<pid_t>(pid), start)) return PowerState::kStarting;
  }
  return PowerState::kOff;
}

bool RecordPowerState(PowerState state) {
  const auto path = RunFile("power");
  if (path.empty()) return false;
  std::ostringstream text;
  switch (state) {
    case PowerState::kOff:
      text << "off\n";
      break;
    case PowerState::kOn:
      text << "on\n";
      break;
    case PowerState::kStarting:
      text << "starting " << ::getpid() << " " << OwnStartTime() << "\n";
      break;
  }
  const auto temp = path.string() + "." + std::to_string(::getpid()) + ".new";
  {
    std::ofstream out(temp, std::ios::trunc);
    out << text.str();
    if (!out.flush()) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  return !ec;
}

bool MachineOff() {
  if (RecordedPowerState() != PowerState::kOff) return false;
  for (const auto& entry : LiveProcessEntries())
    if (entry.pid != ::getpid()) return false;
  return true;
}

BootLock::BootLock() {
  const auto path = RunFile("boot.lock");
  if (path.empty()) return;
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) return;
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    ::close(fd_);
    fd_ = -1;
    return;
  }
}

BootLock::~BootLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace w98::internal
