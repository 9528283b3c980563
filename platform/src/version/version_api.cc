// GetFileVersionInfoSizeA, GetFileVersionInfoA and VerQueryValueA.
#include <cstring>
#include <optional>

#include "core/api.h"
#include "core/path.h"
#include "version/version_info.h"
#include "w98/windows.h"

namespace w98::internal {
namespace {

// The version resource of a DOS path, or nullopt with the error Windows 98 reports: a file
// without (readable) version information is ERROR_FILE_NOT_FOUND, like a missing file.
std::optional<VersionResource> ReadVersionResource(LPCSTR name, DWORD& error) {
  if (name == nullptr) {
    error = ERROR_INVALID_PARAMETER;
    return std::nullopt;
  }
  Location where;
  error = LocateDosPath(name, where);
  if (error != ERROR_SUCCESS) return std::nullopt;
  if (where.out_of_sight) {
    error = ERROR_ACCESS_DENIED;
    return std::nullopt;
  }
  error = ERROR_FILE_NOT_FOUND;
  if (!where.exists || where.IsDirectory()) return std::nullopt;
  FileSource source(where.folder.get(), where.leaf.c_str());
  if (!source.Ok()) return std::nullopt;
  auto resource = FindVersionResource(source);
  if (resource) error = ERROR_SUCCESS;
  return resource;
}

}  // namespace
}  // namespace w98::internal

using namespace w98::internal;

W98API DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
  EnterCall();
  if (lpdwHandle != nullptr) *lpdwHandle = 0;
  DWORD error = ERROR_SUCCESS;
  auto resource = ReadVersionResource(lptstrFilename, error);
  if (!resource) {
    SetLastError(error);
    return 0;
  }
  return static_cast<DWORD>(VersionInfoSize(*resource));
}

// A buffer smaller than the size GetFileVersionInfoSizeA gave fails with
// ERROR_INSUFFICIENT_BUFFER and is left untouched: a cut tree would let VerQueryValueA, which
// only knows the buffer's start, read past its end.
W98API BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD /*dwHandle*/, DWORD dwLen,
                                       LPVOID lpData) {
  EnterCall();
  if (lpData == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD error = ERROR_SUCCESS;
  auto resource = ReadVersionResource(lptstrFilename, error);
  if (!resource) {
    SetLastError(error);
    return FALSE;
  }
  const std::string info = BuildVersionInfo(*resource);
  if (info.size() > dwLen) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(lpData, info.data(), info.size());
  return TRUE;
}

W98API BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer,
                                  PUINT puLen) {
  EnterCall();
  if (puLen != nullptr) *puLen = 0;
  if (pBlock == nullptr || lpSubBlock == nullptr || lplpBuffer == nullptr) return FALSE;
  const void* value = nullptr;
  unsigned length = 0;
  if (!QueryVersionInfo(static_cast<const unsigned char*>(pBlock), lpSubBlock, &value, &length))
    return FALSE;
  *lplpBuffer = const_cast<void*>(value);
  if (puLen != nullptr) *puLen = length;
  return TRUE;
}
