#include "fs/api_support.h"

#include <cstring>

namespace w98::internal {

DWORD LocateArgument(LPCSTR path, Location& out) {
  if (path == nullptr) return ERROR_INVALID_PARAMETER;
  return LocateDosPath(path, out);
}

DWORD ReturnPathText(std::string_view text, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || text.size() + 1 > size) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return static_cast<DWORD>(text.size());
}

}  // namespace w98::internal
