// w98 version PATH: shows the version resource of a file of the machine, as a Windows 98
// program reads it through GetFileVersionInfoA and VerQueryValueA.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "w98/windows.h"

namespace w98tool {
namespace {

int RunVersion(const Args& args) {
  if (args.size() != 1) return Fail("usage: w98 version PATH", 2);
  const char* path = args[0].c_str();
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &handle);
  if (size == 0) {
    const DWORD error = GetLastError();
    return Fail(args[0] +
                (error == ERROR_PATH_NOT_FOUND ? ": no such folder" : ": no version information"));
  }
  std::vector<char> info(size);
  if (!GetFileVersionInfoA(path, handle, size, info.data()))
    return Fail(args[0] + ": cannot read its version information");
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(info.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    std::printf("File version:    %lu.%lu.%lu.%lu\n",
                static_cast<unsigned long>(fixed->dwFileVersionMS >> 16),
                static_cast<unsigned long>(fixed->dwFileVersionMS & 0xFFFF),
                static_cast<unsigned long>(fixed->dwFileVersionLS >> 16),
                static_cast<unsigned long>(fixed->dwFileVersionLS & 0xFFFF));
  }
  if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length) || length < 4)
    return 0;
  const auto* pair = static_cast<const WORD*>(value);
  std::printf("Language:        %04x, code page %u\n", pair[0], pair[1]);
  static const char* const kNames[] = {"FileVersion",      "ProductVersion", "FileDescription",
                                       "ProductName",      "CompanyName",    "InternalName",
                                       "OriginalFilename", "LegalCopyright"};
  for (const char* name : kNames) {
    char query[96];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", pair[0], pair[1], name);
    if (!VerQueryValueA(info.data(), query, &value, &length)) continue;
    std::string text(static_cast<const char*>(value), length);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    std::printf("%-16s %s\n", (std::string(name) + ":").c_str(), text.c_str());
  }
  return 0;
}

}  // namespace

W98_TOOL_COMMAND("version", "w98 version PATH  show the version resource of a file of the machine",
                 true, RunVersion);

}  // namespace w98tool
