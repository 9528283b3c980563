// w98 boot [--wait[=SECONDS]] [--log]: starts a machine that is off.
#include "boot_run.h"
#include "command.h"
#include "w98/w98.h"

namespace w98tool {
namespace {

int Boot(const Args& args) {
  BootOptions options;
  std::string error;
  if (!ParseBootOptions(args, &options, &error))
    return Fail(error + "\nusage: w98 boot [--wait[=SECONDS]] [--log]", kUsage);
  return RunBoot(options, [] { return w98::BootMachine(); });
}

}  // namespace

W98_TOOL_COMMAND("boot",
                 "w98 boot [--wait[=SECONDS]] [--log]\n"
                 "                            start a machine that is off: DOS phase\n"
                 "                            (C:\\AUTOEXEC.BAT), then RunOnce and Run; --wait\n"
                 "                            waits for the started programs (default 120 s),\n"
                 "                            --log shows the boot log as it is written; exit\n"
                 "                            3 when the machine runs, 4 when --wait ran out",
                 true, Boot);

}  // namespace w98tool
