// The Windows phase of a restore: runs c:\windows\temp\rw_ini.bat once through the
// machine's command interpreter.
#ifndef QLREBOOT_WINDOWS_PHASE_H
#define QLREBOOT_WINDOWS_PHASE_H

#include <functional>
#include <string>

namespace qlreboot {

// How the interpreter's window is shown, chosen by the switch (and its .pif file):
//   /QH  hidden      the restore runs out of sight
//   /QN  normal      a normal window (also for a missing or unknown switch)
//   /QL  low         a minimised window that does not take the focus
enum class Mode { kHidden, kNormal, kLow };

// The mode a command-line switch names; kNormal for anything else.
Mode ModeOf(const std::string& switch_text);

inline constexpr const char* kBatchPath = "c:\\windows\\temp\\rw_ini.bat";

// Runs the batch file `batch` once: it is first renamed to a name of its own in the same
// folder, so that it can never start a second time, even when this run is cut short; it
// then runs through `interpreter` (COMMAND.COM: "interpreter /C file") in the window that
// `mode` chooses, and the renamed file is deleted after it. Returns the interpreter's exit
// code, 0 when there is no batch file to run, or -1 when it could not be started (the batch
// file is then put back under its name for a later try). `say` receives progress lines.
int RunOnce(const std::string& batch, const std::string& interpreter, Mode mode,
            const std::function<void(const std::string&)>& say);

}  // namespace qlreboot

#endif  // QLREBOOT_WINDOWS_PHASE_H
