// The machine's restart and boot: a table of ordered steps. The built-in ones end the programs
// still running, run the DOS phase, and run the Windows start-up programs (RunOnce, then Run).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "core/machine.h"
#include "process/boot_log.h"
#include "process/boot_phases.h"
#include "process/power_state.h"
#include "process/process_table.h"
#include "w98/machine.h"
#include "w98/session.h"

extern char** environ;

namespace w98 {
namespace {

struct PhaseTable {
  std::mutex mutex;
  std::vector<RestartPhase> phases;
};

PhaseTable& Phases() {
  static PhaseTable* table = [] {
    auto* t = new PhaseTable;
    t->phases.push_back({"end programs", 100, internal::EndProgramsPhase});
    t->phases.push_back({"DOS", kBootOrder, internal::RunDosPhase});
    t->phases.push_back({"Windows start-up", 300, internal::WindowsStartupPhase});
    return t;
  }();
  return *table;
}

std::vector<RestartPhase> SortedPhases() {
  std::vector<RestartPhase> phases;
  {
    PhaseTable& table = Phases();
    std::lock_guard<std::mutex> lock(table.mutex);
    phases = table.phases;
  }
  std::stable_sort(phases.begin(), phases.end(),
                   [](const RestartPhase& a, const RestartPhase& b) { return a.order < b.order; });
  return phases;
}

// Runs the steps of `phases` whose order lies in [from, to); false when one stopped.
bool RunPhases(const std::vector<RestartPhase>& phases, int from, int to, const char* what) {
  for (const RestartPhase& phase : phases) {
    if (phase.order < from || phase.order >= to) continue;
    WriteBootLog("phase: " + phase.name);
    if (!phase.run()) {
      WriteBootLog(std::string(what) + " stopped in phase " + phase.name);
      return false;
    }
  }
  return true;
}

// The boot proper, from the DOS phase on; the caller holds the boot lock.
int Boot(const std::vector<RestartPhase>& phases, const char* what) {
  internal::RecordPowerState(internal::PowerState::kStarting);
  internal::StartNewBootLog();
  WriteBootLog(what);
  if (!RunPhases(phases, kBootOrder, INT32_MAX, what)) {
    internal::RecordPowerState(internal::PowerState::kOff);
    return 1;
  }
  internal::RecordPowerState(internal::PowerState::kOn);
  WriteBootLog(std::string(what) + " done");
  return 0;
}

}  // namespace

namespace internal {

bool EndProgramsPhase() {
  const int ended = EndMachinePrograms(std::chrono::seconds(3));
  WriteBootLog("ended " + std::to_string(ended) + " running program(s)");
  return true;
}

}  // namespace internal

void RegisterRestartPhase(RestartPhase phase) {
  PhaseTable& table = Phases();
  std::lock_guard<std::mutex> lock(table.mutex);
  std::erase_if(table.phases, [&](const RestartPhase& p) { return p.name == phase.name; });
  table.phases.push_back(std::move(phase));
}

bool MachineIsOff() {
  return internal::MachineOff();
}

int RestartMachine() {
  internal::BootLock lock;
  const std::vector<RestartPhase> phases = SortedPhases();
  // The end of the session belongs to the log of the session that ends.
  WriteBootLog("restart");
  if (!RunPhases(phases, INT32_MIN, kBootOrder, "restart")) return 1;
  return Boot(phases, "restart");
}

int BootMachine() {
  internal::BootLock lock;
  if (!internal::MachineOff()) return 2;
  return Boot(SortedPhases(), "boot");
}

bool WaitForMachinePrograms(unsigned long limit_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  for (;;) {
    bool running = false;
    for (const auto& entry : internal::LiveProcessEntries())
      if (entry.pid != ::getpid()) running = true;
    if (!running) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool StartRestartDetached() {
  const std::string machine = MachineFolder();
  const std::string tool = HostProgramFolder() + "/w98";
  if (machine.empty() || ::access(tool.c_str(), X_OK) != 0) return false;
  const std::string log = (internal::Machine::Current()->RunFolder() / "restart.out").string();
  std::vector<std::string> args{tool, "--machine", machine, "restart"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A session of its own: the restart survives the end of the program that asked for it.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, tool.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) return false;
  std::thread([pid] {
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace w98
