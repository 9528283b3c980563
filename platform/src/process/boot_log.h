// The machine's boot log (run/boot.log; the one before it is run/boot.prv): what each boot
// did, what its DOS phase printed and which programs it started.
//
// Lines written by w98 itself carry the machine's date and time. Output of programs that the
// boot waits for (the DOS phase, RunOnce) is relayed line by line with a stamp and a prefix;
// programs that run on their own (Run) write straight into the log, unstamped.
#ifndef W98_SRC_PROCESS_BOOT_LOG_H
#define W98_SRC_PROCESS_BOOT_LOG_H

#include <string>

#include "w98/windef.h"

namespace w98::internal {

// Starts the log of a new boot: the current log becomes run/boot.prv (replacing it).
void StartNewBootLog();

// A descriptor that appends to the current machine's boot log (close-on-exec), for the
// standard output of a program that runs on its own; -1 when it cannot be opened. The caller
// closes it.
int OpenBootLogForAppend();

// Runs a program of the machine (CreateProcessA's rules for `command_line`) in the DOS folder
// `folder`, writes every line it prints to the boot log after `prefix`, and waits for it to
// end. ERROR_SUCCESS and *exit_code, or the error that kept it from starting. Output that a
// program it started in turn keeps writing after it ended is no longer waited for.
DWORD RunLogged(const std::string& command_line, const std::string& folder,
                const std::string& prefix, DWORD* exit_code);

}  // namespace w98::internal

#endif  // W98_SRC_PROCESS_BOOT_LOG_H
