// w98_process_probe [--sleep MS] [--exit CODE] [ARGS...]: a program of the machine that writes
// what it was given to C:\PROBE.TXT (one "key=value" per line): its Windows command line, its
// arguments, its module name, its host folder and a registry value (HKCU\Software\Probe,
// "Value"); then sleeps and ends with CODE through ExitProcess.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "w98/w98.h"
#include "w98/windows.h"

int main(int argc, char** argv) {
  DWORD sleep_ms = 0, code = 0;
  std::ofstream out(w98::HostPathOf("C:\\PROBE.TXT"), std::ios::trunc);
  out << "cmdline=" << GetCommandLineA() << "\n";
  for (int i = 1; i < argc; ++i) {
    out << "arg=" << argv[i] << "\n";
    if (std::strcmp(argv[i], "--sleep") == 0 && i + 1 < argc) sleep_ms = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--exit") == 0 && i + 1 < argc) code = std::atoi(argv[i + 1]);
  }
  char module[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, module, sizeof module);
  out << "module=" << module << "\n";
  char cwd[4096] = "";
  if (::getcwd(cwd, sizeof cwd) == nullptr) cwd[0] = '\0';
  out << "hostcwd=" << cwd << "\n";
  HKEY key;
  char value[64] = "(none)";
  DWORD size = sizeof value;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Probe", 0, KEY_READ, &key) == ERROR_SUCCESS) {
    RegQueryValueExA(key, "Value", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
  }
  out << "registry=" << value << "\n";
  out.close();
  if (sleep_ms) Sleep(sleep_ms);
  ExitProcess(code);
}
