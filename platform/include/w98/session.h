// w98 extension (not Win32): how programs of a machine are started, and the machine's restart.
//
// Starting a program. CreateProcessA, ShellExecuteExA and `w98 run` start the host program that
// the program's stub names, with
//   argv[0]   the host program's path,
//   argv[1..] the arguments that follow the program's name in the Windows command line, split
//             as the Microsoft C runtime splits them (blanks separate, double quotes group,
//             backslashes escape only quotes),
// and these environment variables beside the parent's own:
//   W98_MACHINE            the machine folder;
//   W98_COMMAND_LINE       the whole Windows command line, as GetCommandLineA returns it;
//   W98_PROGRAM            the program's DOS path ("C:\WINDOWS\REGEDIT.EXE"), as
//                          GetModuleFileNameA(NULL, ...) returns it;
//   W98_CURRENT_DIRECTORY  the program's current DOS folder (GetCurrentDirectoryA);
//   W98_PARENT_PID         the starting process; the three variables above count only in a
//                          process whose parent that is, so they never leak to a grandchild
//                          that some other program started.
// The host program runs in the host folder of its current DOS folder. A .BAT program runs as
// "C:\COMMAND.COM /C <batch file> <arguments>". Every program started this way is entered in the
// machine's process table (run/proc/), which ExitWindowsEx and the restart use to end them.
//
// Restarting. ExitWindowsEx(EWX_REBOOT) ends the machine's programs, flushes the registry and
// starts `w98 restart` detached; RestartMachine runs the restart's phases in order, writing
// what it does to the boot log run/boot.log.
#ifndef W98_SESSION_H
#define W98_SESSION_H

#include <functional>
#include <string>
#include <vector>

namespace w98 {

inline constexpr const char* kCommandLineEnv = "W98_COMMAND_LINE";
inline constexpr const char* kProgramEnv = "W98_PROGRAM";
inline constexpr const char* kCurrentDirectoryEnv = "W98_CURRENT_DIRECTORY";
inline constexpr const char* kParentPidEnv = "W98_PARENT_PID";

// A Windows command line of `arguments`, each quoted when needed so that the C runtime splits
// the line back into them (the first is the program's name).
std::string JoinCommandLine(const std::vector<std::string>& arguments);

// Appends a line (with the machine's date and time) to the current machine's boot log.
void WriteBootLog(const std::string& line);

// One step of the restart. The built-in steps are "end programs" (order 100: every program of
// the machine still running is ended) and "Windows start-up" (order 300: the values of
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\RunOnce run one after the other,
// each removed before it runs, then those of ...\Run are started). The real-mode DOS phase
// registers itself between them (order 200). A step returns false to stop the restart.
struct RestartPhase {
  std::string name;
  int order;
  std::function<bool()> run;
};
// Adds a step (call before RestartMachine; a step of the same name is replaced).
void RegisterRestartPhase(RestartPhase phase);

// Runs every step on the current machine, in order. Returns 0, or 1 when a step stopped it.
int RestartMachine();

// Starts `w98 restart` for the current machine detached from the calling process, so that the
// restart outlives it. False when the w98 tool cannot be started.
bool StartRestartDetached();

}  // namespace w98

#endif  // W98_SESSION_H
