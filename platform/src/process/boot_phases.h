// The built-in steps of a restart and a boot (see <w98/session.h>), each writing what it does
// to the boot log. Each returns false to stop the boot.
#ifndef W98_SRC_PROCESS_BOOT_PHASES_H
#define W98_SRC_PROCESS_BOOT_PHASES_H

namespace w98::internal {

// "end programs": ends every program of the machine still running.
bool EndProgramsPhase();

// "DOS": runs C:\AUTOEXEC.BAT through the machine's command interpreter (C:\COMMAND.COM, else
// the Windows folder's) with no program of the machine running and no hive held by this
// process; what it prints goes to the boot log. A machine without AUTOEXEC.BAT, or without an
// interpreter, goes on to Windows.
bool RunDosPhase();

// "Windows start-up": the values of HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce run
// one after the other, each removed before it runs, their output relayed to the boot log; then
// those of ...\Run are started side by side, writing into the boot log on their own.
bool WindowsStartupPhase();

}  // namespace w98::internal

#endif  // W98_SRC_PROCESS_BOOT_PHASES_H
