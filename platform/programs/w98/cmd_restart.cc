// w98 restart: restarts the machine (ends its programs, then runs its start-up programs).
#include "command.h"
#include "w98/w98.h"

namespace w98tool {
namespace {

int Restart(const Args& args) {
  if (!args.empty()) return Fail("usage: w98 restart", 2);
  return w98::RestartMachine();
}

}  // namespace

W98_TOOL_COMMAND("restart", "w98 restart               restart the machine (start-up programs)",
                 true, Restart);

}  // namespace w98tool
