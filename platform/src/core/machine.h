// The machine a process works on: its folder, drive folders, run folder and machine.ini.
#ifndef W98_SRC_CORE_MACHINE_H
#define W98_SRC_CORE_MACHINE_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ini_document.h"

namespace w98::internal {

class Machine {
 public:
  explicit Machine(std::filesystem::path root);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // The machine that W98_MACHINE named when w98 was first used (or that SelectMachine chose),
  // or nullptr when there is none. Safe from any thread.
  static std::shared_ptr<Machine> Current();

  const std::filesystem::path& Root() const { return root_; }
  // Host folder of a drive letter ('c' or 'C' -> ROOT/c); the folder may be missing.
  std::filesystem::path DriveFolder(char letter) const;
  bool HasDrive(char letter) const;
  // State of the running machine (window table, sockets, locks, process table, boot log).
  // Created on first use; never part of a drive.
  std::filesystem::path RunFolder() const;
  std::filesystem::path IniPath() const { return root_ / "machine.ini"; }
  // A stamp of machine.ini that changes whenever the file is rewritten; -2 when it is missing.
  std::int64_t IniStamp() const;
  // The machine folder, open (O_PATH) for lookups relative to it; -1 when it could not be opened.
  int RootFd() const { return root_fd_; }

  // A value of machine.ini; re-read when the file has changed since the last read.
  std::string Setting(std::string_view section, std::string_view key,
                      std::string_view fallback = {}) const;
  // Values of `section` read together, as of one look at machine.ini: for each key and
  // fallback, the value or the fallback.
  std::vector<std::string> Settings(
      std::string_view section,
      std::initializer_list<std::pair<std::string_view, std::string_view>> keys) const;
  // Writes a value of machine.ini atomically (other processes see the old or the new file,
  // never a torn one); writers of different keys never lose each other's values.
  bool WriteSetting(std::string_view section, std::string_view key, std::string_view value);

  // The Windows folder as a DOS path without trailing backslash ("C:\WINDOWS").
  std::string WindowsFolder() const;

 private:
  std::filesystem::path root_;
  int root_fd_ = -1;  // the machine folder (O_PATH), so machine.ini is looked at in one step
  mutable std::mutex mutex_;
  mutable IniDocument ini_;              // machine.ini as last read, parsed once per change
  mutable std::int64_t ini_stamp_ = -1;  // mtime (ns) ^ size of the machine.ini last read
};

// Makes `root` the current machine; false when it is not a machine folder. Runs every
// registered reset hook so that caches of the previous machine are dropped.
bool SelectMachineFolder(const std::filesystem::path& root);

// The bytes of a program stub naming `hostProgram` (see WriteProgramStub in <w98/machine.h>).
std::string ProgramStubBytes(const std::string& hostProgram);

// Registers a hook that SelectMachineFolder runs after switching machines (cache resets).
void RegisterMachineResetHook(std::function<void()> hook);

}  // namespace w98::internal

#endif  // W98_SRC_CORE_MACHINE_H
