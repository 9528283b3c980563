#include "version_text.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include <w98/windows.h>

namespace snapshot {

std::string ReadVersionText(const std::string& path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return {};
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(path.c_str(), handle, size, block.data())) return {};

  unsigned language = 0;
  unsigned code_page = 0;
  LPVOID translation = nullptr;
  UINT length = 0;
  if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation, &length) &&
      translation != nullptr && length >= 4) {
    WORD pair[2];
    std::memcpy(pair, translation, sizeof pair);
    language = pair[0];
    code_page = pair[1];
  }
  char query[96];
  std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", language, code_page,
                "FileVersion");
  LPVOID value = nullptr;
  length = 0;
  if (!VerQueryValueA(block.data(), query, &value, &length) || value == nullptr) return {};
  const char* text = static_cast<const char*>(value);
  std::string version(text, strnlen(text, length));

  while (!version.empty() && std::isspace(static_cast<unsigned char>(version.back())))
    version.pop_back();
  if (!version.empty() && !std::isprint(static_cast<unsigned char>(version.back())))
    version.pop_back();
  return version;
}

}  // namespace snapshot
