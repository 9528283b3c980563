// The machine's process table: one small file per program of the machine that w98 started
// ("run/proc/PID.proc"), so that ending the session can find them all; and the full exit codes
// that ExitProcess leaves beside them ("run/proc/PID.exit"), since a host exit status keeps
// only 8 bits.
#ifndef W98_SRC_PROCESS_PROCESS_TABLE_H
#define W98_SRC_PROCESS_PROCESS_TABLE_H

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "w98/windef.h"

namespace w98::internal {

struct ProcessEntry {
  pid_t pid = 0;
  std::uint64_t start = 0;  // start time (see host_process.h)
  pid_t parent = 0;
  std::string program;       // DOS path of the program
  std::string host_program;  // host program run
  std::string command_line;  // the Windows command line
};

// Enters a started program in the current machine's table.
void AddProcessEntry(const ProcessEntry& entry);
// The current machine's table folder ("" without a machine).
std::string ProcessTableFolder();
// Removes a program's entry (once its end was seen); `folder` as ProcessTableFolder gave it.
void RemoveProcessEntry(pid_t pid, const std::string& folder = ProcessTableFolder());
// The programs of the current machine that still run.
std::vector<ProcessEntry> LiveProcessEntries();

// Writes this process's full exit code for whoever waits for it.
void RecordOwnExitCode(UINT code);
// The full exit code that process `pid` recorded, if its low byte is `status` (and forgets it).
std::optional<DWORD> TakeRecordedExitCode(pid_t pid, int status,
                                          const std::string& folder = ProcessTableFolder());

// Ends every running program of the machine except this process: asks them to end, and kills
// those still running after `grace`. Returns how many were running.
int EndMachinePrograms(std::chrono::milliseconds grace);

}  // namespace w98::internal

#endif  // W98_SRC_PROCESS_PROCESS_TABLE_H
