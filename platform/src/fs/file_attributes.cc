// GetFileAttributesA, SetFileAttributesA.
#include "core/api.h"
#include "fs/api_support.h"
#include "fs/dos_attributes.h"

using namespace w98::internal;

W98API DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  EnterCall();
  Location where;
  const DWORD error = LocateArgument(lpFileName, where);
  if (error != ERROR_SUCCESS) return FailWith<DWORD>(error, INVALID_FILE_ATTRIBUTES);
  if (!IsShownEntry(where)) return FailWith<DWORD>(ERROR_FILE_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
  const bool folder = where.IsDirectory();
  return ReportedAttributes(ReadDosAttributes(where.folder.get(), where.leaf.c_str(), folder),
                            folder);
}

W98API BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  EnterCall();
  Location where;
  const DWORD error = LocateArgument(lpFileName, where);
  if (error != ERROR_SUCCESS) return FailWith(error);
  if (!IsShownEntry(where)) return FailWith(ERROR_FILE_NOT_FOUND);
  if (where.is_root) return FailWith(ERROR_ACCESS_DENIED);
  // FILE_ATTRIBUTE_NORMAL and the directory bit are not stored: NORMAL alone clears all.
  const DWORD written = WriteDosAttributes(where.folder.get(), where.leaf.c_str(),
                                           dwFileAttributes & kStoredAttributeBits);
  if (written != ERROR_SUCCESS) return FailWith(written);
  return TRUE;
}
