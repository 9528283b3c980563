// The profile (.INI) calls with Windows 98 semantics: sections and keys match
// case-insensitively; values lose their surrounding blanks and one pair of matching quotes;
// GetPrivateProfileIntA parses as Windows 98 does ("+1" is 0, "-1" is 0xFFFFFFFF, overflow
// wraps, text is 0); writes keep every other line.
#include <cstring>
#include <string>
#include <vector>

#include "core/api.h"
#include "core/text.h"
#include "profile/profile_file.h"
#include "w98/windows.h"

namespace w98::internal {
namespace {

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

// Copies a list of names as NUL-terminated strings ending in a second NUL. When the list does
// not fit it is cut, still ends in two NULs, and the result is nSize - 2.
DWORD CopyList(const std::vector<std::string>& names, char* buffer, DWORD size) {
  if (size == 0) return 0;
  if (size == 1) {
    buffer[0] = '\0';
    return 0;
  }
  std::string all;
  for (const std::string& name : names) {
    all += name;
    all += '\0';
  }
  if (all.size() + 1 <= size) {
    std::memcpy(buffer, all.data(), all.size());
    buffer[all.size()] = '\0';
    if (all.empty() && size >= 2) buffer[1] = '\0';
    return static_cast<DWORD>(all.size());
  }
  std::memcpy(buffer, all.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

DWORD GetString(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer, DWORD size,
                LPCSTR file) {
  if (buffer == nullptr || size == 0) return 0;
  const auto path = ProfilePath(file);
  const IniDocument doc = path ? ReadProfile(*path) : IniDocument::Parse("");
  if (section == nullptr) return CopyList(doc.Sections(), buffer, size);
  if (key == nullptr) return CopyList(doc.Keys(section), buffer, size);
  if (auto value = doc.Get(section, key))
    return static_cast<DWORD>(CopyToBuffer(StripQuotes(*value), buffer, size));
  // The default loses its trailing blanks (Windows 98 trims the caller's own string in place;
  // the copy is trimmed here instead, so a constant default is never written to).
  std::string_view text = fallback != nullptr ? fallback : "";
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return static_cast<DWORD>(CopyToBuffer(text, buffer, size));
}

// Windows 98's reading of a profile integer: an optional '-', then the leading decimal digits,
// wrapping modulo 2^32; anything else (including '+') gives 0.
UINT ParseProfileInt(std::string_view text) {
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  UINT value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10u + static_cast<UINT>(c - '0');
  }
  return negative ? 0u - value : value;
}

UINT GetInt(LPCSTR section, LPCSTR key, INT fallback, LPCSTR file) {
  if (section == nullptr || key == nullptr) return 0;  // Windows 98; NT returns the default
  const auto path = ProfilePath(file);
  if (!path) return static_cast<UINT>(fallback);
  const auto value = ReadProfile(*path).Get(section, key);
  if (!value) return static_cast<UINT>(fallback);
  const std::string_view text = StripQuotes(*value);
  if (text.empty()) return static_cast<UINT>(fallback);
  return ParseProfileInt(text);
}

BOOL WriteString(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
  if (section == nullptr) {
    if (key == nullptr && value == nullptr) {
      // Flushing the profile cache. w98 keeps none, but Windows 98 reports FALSE for a flush.
      SetLastError(ERROR_SUCCESS);
      return FALSE;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  // A line break inside a name or value would write lines of its own (a new key or section)
  // into the file; Windows 98 writes it anyway, w98 refuses it and leaves the file alone.
  for (LPCSTR text : {section, key, value}) {
    if (text != nullptr && std::strpbrk(text, "\r\n") != nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
  }
  const auto path = ProfilePath(file);
  if (!path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  const DWORD error = UpdateProfile(*path, [&](IniDocument& doc) {
    if (key == nullptr)
      doc.DeleteSection(section);
    else if (value == nullptr)
      doc.DeleteKey(section, key);
    else
      doc.Set(section, key, value);
  });
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

}  // namespace
}  // namespace w98::internal

using namespace w98::internal;

W98API UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                         LPCSTR lpFileName) {
  EnterCall();
  return GetInt(lpAppName, lpKeyName, nDefault, lpFileName);
}

W98API DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                             LPSTR lpReturnedString, DWORD nSize,
                                             LPCSTR lpFileName) {
  EnterCall();
  return GetString(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize, lpFileName);
}

W98API BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                              LPCSTR lpFileName) {
  EnterCall();
  return WriteString(lpAppName, lpKeyName, lpString, lpFileName);
}

W98API UINT WINAPI GetProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault) {
  EnterCall();
  return GetInt(lpAppName, lpKeyName, nDefault, "WIN.INI");
}

W98API DWORD WINAPI GetProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize) {
  EnterCall();
  return GetString(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize, "WIN.INI");
}

W98API BOOL WINAPI WriteProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString) {
  EnterCall();
  return WriteString(lpAppName, lpKeyName, lpString, "WIN.INI");
}
