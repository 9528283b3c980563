// The real-mode DOS phase of a boot: C:\AUTOEXEC.BAT runs through the machine's command
// interpreter before any Windows program runs. Nothing of Windows holds the registry hives
// then, so the batch file may replace SYSTEM.DAT and USER.DAT (COPY) and import into them with
// the real-mode registry editor.
#include <unistd.h>

#include <chrono>
#include <string>

#include "core/machine.h"
#include "process/boot_log.h"
#include "process/boot_phases.h"
#include "process/process_table.h"
#include "process/program_search.h"
#include "registry/storage_hooks.h"
#include "w98/session.h"
#include "w98/winbase.h"

namespace w98::internal {
namespace {

constexpr const char* kAutoexec = "C:\\AUTOEXEC.BAT";

bool AutoexecExists() {
  const DWORD attributes = GetFileAttributesA(kAutoexec);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

bool RunDosPhase() {
  // No Windows program may run now; a program started since the session ended is ended too.
  if (const int ended = EndMachinePrograms(std::chrono::seconds(3)); ended > 0)
    WriteBootLog("ended " + std::to_string(ended) + " program(s) still running");
  // This process lets go of the hives as well: the batch file owns them until Windows starts.
  ReleaseAllHives();

  if (!AutoexecExists()) {
    WriteBootLog("no C:\\AUTOEXEC.BAT");
    return true;
  }
  ProgramImage interpreter;
  if (FindCommandInterpreter(&interpreter) != ERROR_SUCCESS) {
    // MS-DOS would stop here; Windows still starts, so that the machine stays usable, and the
    // log says why AUTOEXEC.BAT did not run.
    WriteBootLog("Bad or missing command interpreter: C:\\AUTOEXEC.BAT not run");
    return true;
  }
  const std::string line = interpreter.dos_path + " /C " + kAutoexec;
  WriteBootLog(line);
  DWORD exit_code = 0;
  const DWORD error = RunLogged(line, "C:\\", "DOS> ", &exit_code);
  if (error != ERROR_SUCCESS) {
    WriteBootLog("cannot start " + interpreter.dos_path + " (error " + std::to_string(error) +
                 "): C:\\AUTOEXEC.BAT not run");
    return true;
  }
  WriteBootLog("C:\\AUTOEXEC.BAT ended, ERRORLEVEL " + std::to_string(exit_code));
  return true;
}

}  // namespace w98::internal
