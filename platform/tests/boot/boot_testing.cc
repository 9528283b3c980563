#include "boot_testing.h"

#include "w98/w98.h"
#include "w98/windows.h"

namespace boottest {

dostest::ProgramRun RunTool(const w98::testing::TempMachine& machine,
                            const std::vector<std::string>& args) {
  return dostest::RunHostProgram("w98", args, machine.Root());
}

void SetStartupValue(const std::string& key, const std::string& name, const std::string& command) {
  HKEY handle = nullptr;
  const std::string path = "Software\\Microsoft\\Windows\\CurrentVersion\\" + key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &handle, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>(command.size() + 1));
  RegFlushKey(handle);
  RegCloseKey(handle);
}

std::string MachineValue(const std::string& key_path, const std::string& name) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return "(missing)";
  char data[1024] = "(sentinel)";
  DWORD size = sizeof data - 1;
  const LONG rc = RegQueryValueExA(handle, name.c_str(), nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(handle);
  if (rc != ERROR_SUCCESS) return "(missing)";
  return std::string(data, size > 0 && data[size - 1] == '\0' ? size - 1 : size);
}

std::string BootLog(bool previous) {
  return dostest::ReadHostFile(w98::BootLogFile(previous));
}

std::string InOrder(const std::string& log, const std::vector<std::string>& expected) {
  size_t at = 0;
  for (const std::string& text : expected) {
    const size_t found = log.find(text, at);
    if (found == std::string::npos)
      return "expected [" + text + "] after offset " + std::to_string(at) + " of the log:\n" + log;
    at = found + text.size();
  }
  return {};
}

size_t Count(const std::string& log, const std::string& text) {
  size_t count = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
  return count;
}

std::string Dos(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace boottest
