// The Date/Time applet of the machine: shows the machine's clock and sets it (through
// SetLocalTime, so only the machine's clock moves).
//
//   timedate                          asks for a new date and time (Enter keeps each)
//   timedate YYYY-MM-DD [HH:MM[:SS]]  sets the clock without asking
//
// The machine starts it as TIMEDATE.CPL, as "control timedate.cpl" and as
// "rundll32.exe shell32.dll,Control_RunDLL timedate.cpl,,0"; those forms ask, like the no-argument
// form. Any other applet or library is refused.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "clock_text.h"
#include "w98/w98.h"
#include "w98/windows.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

// True when the arguments are one of the ways Windows starts this applet.
bool NamesThisApplet(const std::vector<std::string>& args, std::string& refused) {
  std::string line;
  for (const std::string& a : args) line += (line.empty() ? "" : " ") + Lower(a);
  if (line == "timedate.cpl") return true;
  const std::string rundll = "shell32.dll,control_rundll ";
  if (line.rfind(rundll, 0) == 0) {
    const std::string rest = line.substr(rundll.size());
    if (rest.rfind("timedate.cpl", 0) == 0 &&
        (rest.size() == 12 || rest[12] == ',' || rest[12] == ' '))
      return true;
  }
  refused = line;
  return false;
}

// Prompts until a valid entry, an empty line (keep) or the end of input; false at the end.
bool Ask(const char* prompt, bool (*parse)(const std::string&, SYSTEMTIME&), SYSTEMTIME& st,
         bool& changed) {
  for (;;) {
    std::printf("%s", prompt);
    std::fflush(stdout);
    std::string line;
    if (!std::getline(std::cin, line)) {
      std::printf("\n");
      return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return true;
    if (parse(line, st)) {
      changed = true;
      return true;
    }
    std::printf("Invalid entry: %s\n", line.c_str());
  }
}

int Interactive() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  std::printf("Date/Time Properties\n");
  std::printf("Current date is %s\n", clocktext::FormatDate(st).c_str());
  bool changed = false;
  bool more = Ask("Enter new date (yyyy-mm-dd): ", clocktext::ParseDate, st, changed);
  if (more) {
    std::printf("Current time is %s\n", clocktext::FormatTime(st).c_str());
    Ask("Enter new time (hh:mm:ss): ", clocktext::ParseTime, st, changed);
  }
  if (!changed) return 0;
  if (!clocktext::SetMachineLocalTime(st)) {
    std::fprintf(stderr, "timedate: cannot set the clock (error %lu)\n",
                 static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  GetLocalTime(&st);
  std::printf("The clock now reads %s %s\n", clocktext::FormatDate(st).c_str(),
              clocktext::FormatTime(st).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (w98::MachineFolder().empty()) {
    std::fprintf(stderr, "timedate: no machine: %s does not name one\n", w98::kMachineEnv);
    return 1;
  }
  SYSTEMTIME st{};
  GetLocalTime(&st);
  if (!args.empty() && clocktext::ParseDate(args[0], st)) {
    if (args.size() > 2 || (args.size() == 2 && !clocktext::ParseTime(args[1], st))) {
      std::fprintf(stderr, "usage: timedate [YYYY-MM-DD [HH:MM[:SS]]]\n");
      return 2;
    }
    if (!clocktext::SetMachineLocalTime(st)) {
      std::fprintf(stderr, "timedate: cannot set the clock (error %lu)\n",
                   static_cast<unsigned long>(GetLastError()));
      return 1;
    }
    return 0;
  }
  std::string refused;
  if (!args.empty() && !NamesThisApplet(args, refused)) {
    std::fprintf(stderr, "timedate: cannot run '%s': this is the Date/Time applet\n",
                 refused.c_str());
    return 2;
  }
  return Interactive();
}
