// w98 init DIR: creates a blank Windows 98 machine.
#include <cstdio>

#include "command.h"
#include "w98/machine.h"

namespace w98tool {
namespace {

int RunInit(const Args& args) {
  if (args.size() != 1) return Fail("usage: w98 init DIR", 2);
  w98::MachineOptions options;
  options.host_bin = SelfFolder();
  std::string error;
  if (!w98::CreateMachine(args[0], options, &error)) return Fail(error);
  std::printf("Created a Windows 98 machine in %s\n", args[0].c_str());
  return 0;
}

}  // namespace

W98_TOOL_COMMAND("init", "w98 init DIR              create a blank Windows 98 machine", false,
                 RunInit);

}  // namespace w98tool
