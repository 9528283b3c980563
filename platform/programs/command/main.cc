// command: the machine's MS-DOS command interpreter (the program behind C:\COMMAND.COM).
//
//   command /C file.bat [args]   runs a batch file to its end
//   command /C "line"            runs one command line
//   command                      reads command lines from standard input until EXIT
//
// Everything it prints goes to standard output (the machine's boot log captures it while the
// machine starts). The exit code is the ERRORLEVEL at the end.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "console.h"
#include "dos_files.h"
#include "environment.h"
#include "interpreter.h"
#include "program_args.h"
#include "w98/machine.h"
#include "w98/windows.h"

int main(int argc, char** argv) {
  if (w98::MachineFolder().empty()) {
    std::fprintf(stderr, "command: no machine: set %s to a machine folder\n", w98::kMachineEnv);
    return 1;
  }
  char windows[MAX_PATH] = "C:\\WINDOWS";
  const UINT n = GetWindowsDirectoryA(windows, sizeof windows);
  if (n == 0 || n >= sizeof windows) std::snprintf(windows, sizeof windows, "C:\\WINDOWS");

  command::StdoutConsole console;
  command::Interpreter interpreter(console, command::Environment::MachineDefault(windows));
  const std::vector<std::string> args(argv + 1, argv + argc);
  bool ran = false;
  interpreter.RunInvocation(dos::CommandTail(args), &ran);
  if (!ran) {
    std::string line;
    for (;;) {
      console.Write(interpreter.Prompt());
      console.Flush();
      if (!std::getline(std::cin, line)) break;
      interpreter.RunLine(line);
      if (interpreter.Exited()) break;
    }
    console.Write("\n");
  }
  console.Flush();
  return interpreter.ErrorLevel();
}
