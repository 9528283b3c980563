// w98 shutdown [--force]: ends the machine's session and leaves it off, as "Shut down" does.
#include "command.h"
#include "w98/windows.h"

namespace w98tool {
namespace {

int Shutdown(const Args& args) {
  const bool force = args.size() == 1 && args[0] == "--force";
  if (!args.empty() && !force) return Fail("usage: w98 shutdown [--force]", 2);
  if (!ExitWindowsEx(EWX_SHUTDOWN | (force ? EWX_FORCE : 0), 0))
    return Fail(GetLastError() == ERROR_CANCELLED
                    ? "a program refused to end the session (--force does not ask)"
                    : "cannot end the session (error " + std::to_string(GetLastError()) + ")");
  return 0;
}

}  // namespace

W98_TOOL_COMMAND("shutdown",
                 "w98 shutdown [--force]    end the machine's programs (asking their windows\n"
                 "                            first, unless --force) and leave the machine off",
                 true, Shutdown);

}  // namespace w98tool
