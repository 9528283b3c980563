// w98 restart [--wait[=SECONDS]] [--log]: ends the machine's session and boots it again.
#include "boot_run.h"
#include "command.h"
#include "w98/w98.h"

namespace w98tool {
namespace {

int Restart(const Args& args) {
  BootOptions options;
  std::string error;
  if (!ParseBootOptions(args, &options, &error))
    return Fail(error + "\nusage: w98 restart [--wait[=SECONDS]] [--log]", kUsage);
  return RunBoot(options, [] { return w98::RestartMachine(); });
}

}  // namespace

W98_TOOL_COMMAND("restart",
                 "w98 restart [--wait[=SECONDS]] [--log]\n"
                 "                            end the machine's programs and boot it again\n"
                 "                            (options as for boot)",
                 true, Restart);

}  // namespace w98tool
