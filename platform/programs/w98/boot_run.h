// What `w98 boot` and `w98 restart` share: their options, showing the boot log as it grows,
// and waiting for the programs that the boot started.
#ifndef W98_PROGRAMS_W98_BOOT_RUN_H
#define W98_PROGRAMS_W98_BOOT_RUN_H

#include <functional>
#include <string>

#include "command.h"

namespace w98tool {

struct BootOptions {
  bool wait = false;
  unsigned long wait_seconds = 120;  // --wait alone
  bool log = false;
};

// Exit codes of `w98 boot` and `w98 restart`.
enum BootExit {
  kBooted = 0,
  kBootStopped = 1,  // a step of the boot stopped it; the machine is off
  kUsage = 2,
  kNotOff = 3,        // w98 boot: the machine is running (use w98 restart)
  kStillRunning = 4,  // --wait: programs of the machine still ran when the time was up
};

// Parses "--wait", "--wait=SECONDS" and "--log". False (with a message) for anything else.
bool ParseBootOptions(const Args& args, BootOptions* options, std::string* error);

// Runs `boot` (BootMachine or RestartMachine), showing the boot log as it is written when
// options.log is set, then waits when options.wait is set. Returns the tool's exit code.
int RunBoot(const BootOptions& options, const std::function<int()>& boot);

}  // namespace w98tool

#endif  // W98_PROGRAMS_W98_BOOT_RUN_H
