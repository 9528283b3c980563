// qlreboot: the maker's restart program, started by the RunOnce value "Snapshot" in the
// first Windows session after the boot phase of a restore:
//
//   qlreboot.exe /QH | /QN | /QL
//
// It runs c:\windows\temp\rw_ini.bat once through the machine's COMMAND.COM (rw_ini.bat
// runs rw.bat, which restores the user files and writes rw.suc), then removes it so that it
// never runs twice. The switch chooses the interpreter's window: /QH hidden, /QN normal,
// /QL minimised without focus ("low"); a missing or unknown switch means /QN.
//
// Exit codes: 0 when the batch file ran (whatever it did) or there was none to run; 1 when
// it could not be started (it is then left in place for a later try).
#include <cstdio>
#include <string>

#include "companion_support.h"
#include "dos_files.h"
#include "w98/machine.h"
#include "windows_phase.h"

int main(int argc, char** argv) {
  if (w98::MachineFolder().empty()) {
    std::fprintf(stderr, "qlreboot: no machine: set %s to a machine folder\n", w98::kMachineEnv);
    return 1;
  }
  const qlreboot::Mode mode = qlreboot::ModeOf(argc > 1 ? argv[1] : "");
  std::string interpreter = companion::WindowsFolder() + "\\COMMAND.COM";
  if (!dos::IsFile(interpreter)) interpreter = "C:\\COMMAND.COM";
  const int code = qlreboot::RunOnce(
      qlreboot::kBatchPath, interpreter, mode,
      [](const std::string& line) { std::printf("qlreboot: %s\n", line.c_str()); });
  std::fflush(stdout);
  return code < 0 ? 1 : 0;
}
