// Who this process is: its id, its command line, its program's file, and its end.
#include "process/process_info.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/api.h"
#include "core/text.h"
#include "process/command_line.h"
#include "process/process_table.h"
#include "registry/storage_hooks.h"
#include "w98/session.h"
#include "w98/winbase.h"

namespace w98::internal {

std::string InheritedVariable(const char* name) {
  const char* parent = std::getenv(kParentPidEnv);
  if (parent == nullptr || std::strtol(parent, nullptr, 10) != static_cast<long>(::getppid()))
    return {};
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string OwnProgramDosPath() {
  static const std::string path = InheritedVariable(kProgramEnv);
  return path;
}

namespace {

std::string HostExecutable() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  return n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
}

std::string BuildCommandLine() {
  std::string line = InheritedVariable(kCommandLineEnv);
  if (!line.empty()) return line;
  // Started by some other means: the host arguments, quoted as the C runtime reads them.
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string argument;
  while (std::getline(in, argument, '\0')) {
    if (!line.empty()) line += ' ';
    line += QuoteArgument(argument);
  }
  return line;
}

}  // namespace
}  // namespace w98::internal

W98API DWORD WINAPI GetCurrentProcessId(void) {
  w98::internal::EnterCall();
  return static_cast<DWORD>(::getpid());
}

W98API LPSTR WINAPI GetCommandLineA(void) {
  w98::internal::EnterCall();
  static std::string line = w98::internal::BuildCommandLine();
  return line.data();
}

W98API DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  w98::internal::EnterCall();
  std::string path;
  if (hModule == nullptr) {
    path = w98::internal::OwnProgramDosPath();
    if (path.empty()) path = w98::internal::HostExecutable();
  } else {
    link_map* map = nullptr;
    if (::dlinfo(hModule, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    path = map->l_name;
  }
  if (lpFilename == nullptr || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return static_cast<DWORD>(w98::internal::CopyToBuffer(path, lpFilename, nSize));
}

W98API void WINAPI ExitProcess(UINT uExitCode) {
  w98::internal::EnterCall();
  w98::internal::RecordOwnExitCode(uExitCode);
  w98::internal::FlushAllHives();
  std::fflush(nullptr);
  ::_exit(static_cast<int>(uExitCode & 0xFF));
}
