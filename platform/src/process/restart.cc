// The machine's restart: a table of ordered steps. The built-in ones end the programs still
// running and then run the Windows start-up programs (RunOnce, then Run); the real-mode DOS
// phase slots in between them by registering its own step.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "core/machine.h"
#include "process/process_table.h"
#include "process/spawn.h"
#include "w98/machine.h"
#include "w98/session.h"
#include "w98/windows.h"

extern char** environ;

namespace w98 {
namespace {

constexpr const char* kStartupKey = "Software\\Microsoft\\Windows\\CurrentVersion\\";

struct PhaseTable {
  std::mutex mutex;
  std::vector<RestartPhase> phases;
};

bool EndPrograms() {
  const int ended = internal::EndMachinePrograms(std::chrono::seconds(3));
  WriteBootLog("ended " + std::to_string(ended) + " running program(s)");
  return true;
}

struct StartupEntry {
  std::string name;
  std::string command;
};

std::vector<StartupEntry> ReadStartupEntries(HKEY key) {
  std::vector<StartupEntry> entries;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD name_size = sizeof name;
    char data[2048];
    DWORD data_size = sizeof data;
    DWORD type = 0;
    const LONG rc = RegEnumValueA(key, index, name, &name_size, nullptr, &type,
                                  reinterpret_cast<BYTE*>(data), &data_size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) {
      WriteBootLog("cannot read a start-up value: error " + std::to_string(rc));
      continue;
    }
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || data_size == 0) continue;
    entries.push_back({name, std::string(data, strnlen(data, data_size))});
  }
  return entries;
}

// Runs the programs of one start-up key: RunOnce values are removed before each runs and run
// one after the other; Run values are started side by side.
void RunStartupKey(const char* which, bool once) {
  HKEY key = nullptr;
  const std::string path = std::string(kStartupKey) + which;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    WriteBootLog(std::string(which) + ": no key");
    return;
  }
  const std::string windows_folder = internal::Machine::Current()->WindowsFolder();
  for (const StartupEntry& entry : ReadStartupEntries(key)) {
    if (once) {
      RegDeleteValueA(key, entry.name.c_str());
      RegFlushKey(key);
    }
    WriteBootLog(std::string(which) + " " + entry.name + ": " + entry.command);
    std::shared_ptr<internal::ProcessObject> process;
    const DWORD error = internal::StartCommandLine(nullptr, entry.command.c_str(),
                                                   windows_folder.c_str(), &process);
    if (error != ERROR_SUCCESS) {
      WriteBootLog(std::string(which) + " " + entry.name + ": cannot start (error " +
                   std::to_string(error) + ")");
      continue;
    }
    if (once) {
      process->Wait(INFINITE);
      WriteBootLog(std::string(which) + " " + entry.name + ": ended with " +
                   std::to_string(process->ExitCode()));
    }
  }
  RegCloseKey(key);
}

bool WindowsStartup() {
  RunStartupKey("RunOnce", true);
  RunStartupKey("Run", false);
  return true;
}

PhaseTable& Phases() {
  static PhaseTable* table = [] {
    auto* t = new PhaseTable;
    t->phases.push_back({"end programs", 100, EndPrograms});
    t->phases.push_back({"Windows start-up", 300, WindowsStartup});
    return t;
  }();
  return *table;
}

}  // namespace

void WriteBootLog(const std::string& line) {
  auto machine = internal::Machine::Current();
  if (!machine) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond);
  std::ofstream out(machine->RunFolder() / "boot.log", std::ios::app);
  out << stamp << line << "\n";
}

void RegisterRestartPhase(RestartPhase phase) {
  PhaseTable& table = Phases();
  std::lock_guard<std::mutex> lock(table.mutex);
  std::erase_if(table.phases, [&](const RestartPhase& p) { return p.name == phase.name; });
  table.phases.push_back(std::move(phase));
}

int RestartMachine() {
  std::vector<RestartPhase> phases;
  {
    PhaseTable& table = Phases();
    std::lock_guard<std::mutex> lock(table.mutex);
    phases = table.phases;
  }
  std::stable_sort(phases.begin(), phases.end(),
                   [](const RestartPhase& a, const RestartPhase& b) { return a.order < b.order; });
  WriteBootLog("restart");
  for (const RestartPhase& phase : phases) {
    WriteBootLog("phase: " + phase.name);
    if (!phase.run()) {
      WriteBootLog("restart stopped in phase " + phase.name);
      return 1;
    }
  }
  WriteBootLog("restart done");
  return 0;
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
