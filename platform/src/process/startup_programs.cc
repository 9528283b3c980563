// The Windows start-up programs of a boot: RunOnce, then Run.
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/machine.h"
#include "process/boot_log.h"
#include "process/boot_phases.h"
#include "process/spawn.h"
#include "w98/session.h"
#include "w98/windows.h"

namespace w98::internal {
namespace {

constexpr const char* kStartupKey = "Software\\Microsoft\\Windows\\CurrentVersion\\";

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
  const std::string windows_folder = Machine::Current()->WindowsFolder();
  const std::vector<StartupEntry> entries = ReadStartupEntries(key);
  if (once) {
    // Removed before each runs, and durably: a program that restarts the machine never
    // comes back to itself.
    for (const StartupEntry& entry : entries) {
      RegDeleteValueA(key, entry.name.c_str());
      RegFlushKey(key);
      const std::string label = std::string(which) + " " + entry.name;
      WriteBootLog(label + ": " + entry.command);
      DWORD exit_code = 0;
      const DWORD error = RunLogged(entry.command, windows_folder, label + "> ", &exit_code);
      WriteBootLog(error == ERROR_SUCCESS
                       ? label + ": ended with " + std::to_string(exit_code)
                       : label + ": cannot start (error " + std::to_string(error) + ")");
    }
  } else {
    const int log = OpenBootLogForAppend();
    for (const StartupEntry& entry : entries) {
      const std::string label = std::string(which) + " " + entry.name;
      WriteBootLog(label + ": " + entry.command);
      std::shared_ptr<ProcessObject> process;
      const DWORD error =
          StartCommandLine(nullptr, entry.command.c_str(), windows_folder.c_str(), &process, log);
      if (error != ERROR_SUCCESS)
        WriteBootLog(label + ": cannot start (error " + std::to_string(error) + ")");
    }
    if (log >= 0) ::close(log);
  }
  RegCloseKey(key);
}

}  // namespace

bool WindowsStartupPhase() {
  RunStartupKey("RunOnce", true);
  RunStartupKey("Run", false);
  return true;
}

}  // namespace w98::internal
