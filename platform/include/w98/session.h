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
// starts `w98 restart` detached; RestartMachine runs the restart's phases in order (the end of
// the session, the DOS phase, the Windows start-up), writing what it does to the boot log
// run/boot.log. BootMachine starts a machine that is off.
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

// Appends a line (with the machine's date and time) to the current machine's boot log; a text
// with line breaks becomes one stamped line each. Any thread.
void WriteBootLog(const std::string& line);

// Host path of the current machine's boot log (run/boot.log), or with `previous` of the log of
// the boot before it (run/boot.prv); "" without a machine. Each boot starts a new log.
std::string BootLogFile(bool previous = false);

// One step of a restart. The built-in steps are "end programs" (order 100: every program of
// the machine still running is ended), "DOS" (order 200: C:\AUTOEXEC.BAT runs through the
// machine's command interpreter, with no program of the machine running and no hive held open,
// so that its lines may replace and import into SYSTEM.DAT and USER.DAT; what it prints goes
// to the boot log) and "Windows start-up" (order 300: the values of
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\RunOnce run one after the
// other, each removed before it runs, then those of ...\Run are started). Steps ordered below
// kBootOrder end the running session; a boot begins at kBootOrder. A step returns false to
// stop the restart.
struct RestartPhase {
  std::string name;
  int order;
  std::function<bool()> run;
};
inline constexpr int kBootOrder = 200;
// Adds a step (call before RestartMachine; a step of the same name is replaced).
void RegisterRestartPhase(RestartPhase phase);

// A machine is off when it was never started, or its last session ended with a shut-down
// (ExitWindowsEx with EWX_SHUTDOWN or EWX_POWEROFF), or its last boot died half way, and no
// program of the machine is running. It is on from the end of a boot until it is shut down.
// The state is kept in run/power. Programs can be run on a machine that is off (`w98 run`);
// the machine is then no longer off until they have ended.
bool MachineIsOff();

// Restarts the current machine: runs every step in order. Only one boot or restart of a
// machine runs at a time; a second one waits for the first to finish. Returns 0, or 1 when a
// step stopped it (a step of the boot leaves the machine off).
int RestartMachine();

// Boots the current machine when it is off: runs the steps from kBootOrder on. Returns 0, 1 when
// a step stopped it, or 2 (doing nothing) when the machine is not off.
int BootMachine();

// Waits until no program of the current machine runs any more (this process aside), at most
// `limit_ms` milliseconds. True when none runs.
bool WaitForMachinePrograms(unsigned long limit_ms);

// Starts `w98 restart` for the current machine detached from the calling process, so that the
// restart outlives it. False when the w98 tool cannot be started.
bool StartRestartDetached();

}  // namespace w98

#endif  // W98_SESSION_H
