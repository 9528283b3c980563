// attrib: the machine's ATTRIB (the program behind C:\WINDOWS\COMMAND\ATTRIB.COM).
// Usage and exit codes: see attrib.h.
#include <cstdio>
#include <string>
#include <vector>

#include "attrib.h"
#include "program_args.h"
#include "w98/machine.h"

int main(int argc, char** argv) {
  if (w98::MachineFolder().empty()) {
    std::fprintf(stderr, "attrib: no machine: set %s to a machine folder\n", w98::kMachineEnv);
    return 1;
  }
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int code = attrib::Run(dos::CommandTail(args), [](const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
  });
  std::fflush(stdout);
  return code;
}
