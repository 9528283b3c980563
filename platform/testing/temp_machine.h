// A throw-away w98 machine for tests: created in a fresh temporary folder, selected as the
// process's machine, removed when the object goes away.
#ifndef W98_TESTING_TEMP_MACHINE_H
#define W98_TESTING_TEMP_MACHINE_H

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace w98::testing {

class TempMachine {
 public:
  // Creates and selects a blank machine (machine.ini, drives A:, C:, D:, C:\WINDOWS with its
  // SYSTEM, COMMAND and TEMP folders) whose host programs are those of this build.
  TempMachine();
  ~TempMachine();
  TempMachine(const TempMachine&) = delete;
  TempMachine& operator=(const TempMachine&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  // Host path of a file on drive C: given relative to its root ("WINDOWS/WIN.INI").
  std::filesystem::path OnC(const std::string& relative) const { return root_ / "c" / relative; }
  // Writes a host file on drive C: (creating folders), bypassing w98.
  void WriteFile(const std::string& relative, const std::string& bytes) const;
  // Reads a host file on drive C:, bypassing w98; "" when missing.
  std::string ReadFile(const std::string& relative) const;

 private:
  std::filesystem::path root_;
};

// Folder of this build's programs and shared libraries (QUILLOW_BIN, else the test's folder).
std::filesystem::path BuildBinFolder();

// Sizes of the files this process holds open in `folder` without a name there: copies that
// CopyFileA is still writing (they get their name only when complete).
std::vector<off_t> UnnamedFilesBeingWritten(const std::filesystem::path& folder);

// Starts a program of the selected machine as the engine starts one (ShellExecuteExA, verb
// "open", hidden window) and waits for it to end. False when it could not be started.
bool RunHidden(const std::string& program, const std::string& parameters);

}  // namespace w98::testing

#endif  // W98_TESTING_TEMP_MACHINE_H
