// The machine's well-known folders, the current folder and full path names:
// GetWindowsDirectoryA, GetSystemDirectoryA, GetTempPathA, GetCurrentDirectoryA,
// SetCurrentDirectoryA, GetFullPathNameA.
#include <cstring>

#include "core/api.h"
#include "core/machine.h"
#include "fs/api_support.h"

using namespace w98::internal;

namespace {

// The Windows folder of the current machine, or "" (with the last error set) when there is
// no machine.
std::string WindowsFolderOrFail() {
  auto machine = Machine::Current();
  if (!machine) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return {};
  }
  return machine->WindowsFolder();
}

bool EndsWithSeparator(std::string_view text) {
  return !text.empty() && (text.back() == '\\' || text.back() == '/');
}

}  // namespace

W98API UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  EnterCall();
  const std::string folder = WindowsFolderOrFail();
  if (folder.empty()) return 0;
  return ReturnPathText(folder, lpBuffer, uSize);
}

W98API UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  EnterCall();
  std::string folder = WindowsFolderOrFail();
  if (folder.empty()) return 0;
  if (!EndsWithSeparator(folder)) folder += '\\';
  return ReturnPathText(folder + "SYSTEM", lpBuffer, uSize);
}

W98API DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  EnterCall();
  std::string folder = WindowsFolderOrFail();
  if (folder.empty()) return 0;
  if (!EndsWithSeparator(folder)) folder += '\\';
  return ReturnPathText(folder + "TEMP\\", lpBuffer, nBufferLength);
}

W98API DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
  EnterCall();
  return ReturnPathText(CurrentFolder(), lpBuffer, nBufferLength);
}

W98API BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
  EnterCall();
  if (lpPathName == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  DosPath path;
  DWORD error = ParseDosPath(lpPathName, path);
  if (error != ERROR_SUCCESS) return FailWith(error);
  Location where;
  error = Locate(path, where);
  if (error != ERROR_SUCCESS) return FailWith(error);
  if (!IsShownEntry(where)) return FailWith(ERROR_FILE_NOT_FOUND);
  if (!where.IsDirectory()) return FailWith(ERROR_DIRECTORY);
  SetCurrentFolder(path.ToString());
  return TRUE;
}

W98API DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                                     LPSTR* lpFilePart) {
  EnterCall();
  if (lpFileName == nullptr) return FailWith<DWORD>(ERROR_INVALID_PARAMETER, 0);
  DosPath path;
  const DWORD error = FoldDosPath(lpFileName, path);
  if (error != ERROR_SUCCESS) return FailWith<DWORD>(error, 0);
  std::string full = path.ToString();
  // A trailing separator is kept ("C:\WINDOWS\"), and then there is no file part.
  const bool folder_only = path.IsRoot() || EndsWithSeparator(lpFileName);
  if (folder_only && !path.IsRoot()) full += '\\';
  const DWORD result = ReturnPathText(full, lpBuffer, nBufferLength);
  if (lpFilePart != nullptr && result == full.size()) {
    *lpFilePart = folder_only ? nullptr : lpBuffer + full.rfind('\\') + 1;
  }
  return result;
}
