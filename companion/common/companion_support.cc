#include "companion_support.h"

#include <cstdio>

#include "dos_files.h"
#include "w98/io.h"
#include "w98/windows.h"

namespace companion {

std::string ProgramFolder() {
  char path[MAX_PATH * 4] = "";
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return {};
  const std::string module(path, n);
  const bool dos_path =
      module.size() > 2 && module[1] == ':' &&
      ((module[0] >= 'A' && module[0] <= 'Z') || (module[0] >= 'a' && module[0] <= 'z'));
  return dos_path ? dos::FolderOf(module) : std::string();
}

std::string WindowsFolder() {
  char folder[MAX_PATH] = "";
  const UINT n = GetWindowsDirectoryA(folder, sizeof folder);
  if (n == 0 || n >= sizeof folder) return "C:\\WINDOWS";
  return std::string(folder, n);
}

std::string LocalTimestamp() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  return text;
}

bool WriteTextFile(const std::string& path, const std::string& text, bool append) {
  const int flags = _O_WRONLY | _O_CREAT | _O_TEXT | (append ? _O_APPEND : _O_TRUNC);
  const int fd = _open(path.c_str(), flags, _S_IREAD | _S_IWRITE);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (done < text.size()) {
    const int n = _write(fd, text.data() + done, static_cast<unsigned>(text.size() - done));
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (_close(fd) != 0) ok = false;
  return ok;
}

}  // namespace companion
