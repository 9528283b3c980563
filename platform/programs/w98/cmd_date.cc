// w98 date: shows the machine's clock; w98 date set YYYY-MM-DD [HH:MM[:SS]] sets it.
#include <cstdio>
#include <cstdlib>

#include "clock_text.h"
#include "command.h"
#include "w98/time.h"
#include "w98/windows.h"

namespace w98tool {
namespace {

// "Wed 2024-01-10 12:00:05 CET (UTC+01:00)".
void PrintClock() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  const __time64_t now = _time64(nullptr);
  tm local{};
  _localtime64_s(&local, &now);
  const long offset = local.tm_gmtoff;
  std::printf("%s %s %s (UTC%c%02ld:%02ld)\n", clocktext::FormatDate(st).c_str(),
              clocktext::FormatTime(st).c_str(), local.tm_zone ? local.tm_zone : "",
              offset < 0 ? '-' : '+', std::labs(offset) / 3600, std::labs(offset) / 60 % 60);
}

int RunDate(const Args& args) {
  if (args.empty()) {
    PrintClock();
    return 0;
  }
  if (args[0] != "set" || args.size() < 2 || args.size() > 3)
    return Fail("usage: w98 date [set YYYY-MM-DD [HH:MM[:SS]]]", 2);
  SYSTEMTIME st{};
  GetLocalTime(&st);  // a date alone keeps the time of day
  if (!clocktext::ParseDate(args[1], st)) return Fail("not a date: " + args[1] + " (YYYY-MM-DD)");
  if (args.size() == 3 && !clocktext::ParseTime(args[2], st))
    return Fail("not a time: " + args[2] + " (HH:MM:SS)");
  if (!clocktext::SetMachineLocalTime(st))
    return Fail("cannot set the clock (error " + std::to_string(GetLastError()) + ")");
  PrintClock();
  return 0;
}

}  // namespace

W98_TOOL_COMMAND("date", "w98 date [set YYYY-MM-DD [HH:MM[:SS]]]  show or set the machine's clock",
                 true, RunDate);

}  // namespace w98tool
