// zemoqlb: the maker's taskbar scheduler, started by the Run value "TavrinQuillow" at every
// start of Windows. This least version records that it started, with the machine's time, as
// one line "zemoqlb started YYYY-MM-DD HH:MM:SS" added to zemoqlb.log in its own folder (the
// snapshot store; C:\WINDOWS\ZEMO\SNAPSHOT\ when started without its stub), and exits 0
// (1 when the log cannot be written).
#include <cstdio>
#include <string>

#include "companion_support.h"
#include "dos_files.h"
#include "w98/machine.h"

int main() {
  if (w98::MachineFolder().empty()) {
    std::fprintf(stderr, "zemoqlb: no machine: set %s to a machine folder\n", w98::kMachineEnv);
    return 1;
  }
  std::string folder = companion::ProgramFolder();
  if (folder.empty()) folder = companion::WindowsFolder() + "\\ZEMO\\SNAPSHOT\\";
  const std::string log = dos::Join(folder, "zemoqlb.log");
  if (!companion::WriteTextFile(log, "zemoqlb started " + companion::LocalTimestamp() + "\n",
                                true)) {
    std::fprintf(stderr, "zemoqlb: cannot write %s\n", log.c_str());
    return 1;
  }
  return 0;
}
