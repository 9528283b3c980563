// Helpers of the version resource tests: executables written to a machine and read back.
#ifndef W98_TESTS_VERSION_VERSION_TESTING_H
#define W98_TESTS_VERSION_VERSION_TESTING_H

#include <string>
#include <vector>

#include "version/pe_writer.h"
#include "w98/windows.h"

namespace w98::testing {

// The version text as the engine reads it: translation, then the FileVersion string of that
// language and code page; "" when any step fails.
inline std::string FileVersionText(const std::string& dos_path) {
  DWORD handle = 0xdeadbeef;
  const DWORD size = GetFileVersionInfoSizeA(dos_path.c_str(), &handle);
  if (size == 0) return "";
  std::vector<char> info(size);
  if (!GetFileVersionInfoA(dos_path.c_str(), handle, size, info.data())) return "";
  void* value = nullptr;
  UINT length = 0;
  unsigned language = 0, code_page = 0;
  if (VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
    language = static_cast<const WORD*>(value)[0];
    code_page = static_cast<const WORD*>(value)[1];
  }
  char path[64];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", language, code_page,
                "FileVersion");
  if (!VerQueryValueA(info.data(), path, &value, &length)) return "";
  std::string text(static_cast<const char*>(value), length);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

inline internal::VersionSpec SampleSpec(const std::string& file_version) {
  internal::VersionSpec wanted;
  wanted.file_version = {4, 10, 0, 1998};
  wanted.product_version = {4, 10, 0, 2222};
  wanted.strings = {{"CompanyName", "Microsoft Corporation"},
                    {"FileDescription", "Windows 32-bit kernel core"},
                    {"FileVersion", file_version},
                    {"InternalName", "KERNEL32"},
                    {"LegalCopyright", "Copyright \xA9 1981-1998"},
                    {"OriginalFilename", "KERNEL32.DLL"},
                    {"ProductName", "Windows 98"},
                    {"ProductVersion", "4.10.2222"}};
  return wanted;
}

}  // namespace w98::testing

#endif  // W98_TESTS_VERSION_VERSION_TESTING_H
