// w98 run -- PROGRAM ARGS...: runs a program of the machine and returns its exit code.
#include <cstdio>

#include "command.h"
#include "w98/w98.h"
#include "w98/windows.h"

namespace w98tool {
namespace {

int RunProgram(const Args& args) {
  size_t first = 0;
  if (first < args.size() && args[first] == "--") ++first;
  if (first >= args.size()) return Fail("usage: w98 run -- PROGRAM [ARGS...]", 2);
  std::string line =
      w98::JoinCommandLine(Args(args.begin() + static_cast<long>(first), args.end()));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    const DWORD error = GetLastError();
    return Fail("cannot start " + args[first] + ": " +
                    (error == ERROR_FILE_NOT_FOUND   ? "no such program on the machine"
                     : error == ERROR_BAD_EXE_FORMAT ? "not a program of the machine"
                                                     : "error " + std::to_string(error)),
                127);
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return static_cast<int>(code);
}

}  // namespace

W98_TOOL_COMMAND("run", "w98 run -- PROGRAM [ARGS...] run a program of the machine (DOS name)",
                 true, RunProgram);

}  // namespace w98tool
