// CreateDirectoryA, RemoveDirectoryA.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/api.h"
#include "fs/api_support.h"
#include "fs/dos_attributes.h"
#include "fs/host_calls.h"

using namespace w98::internal;

W98API BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  EnterCall();
  Location where;
  const DWORD error = LocateArgument(lpPathName, where);
  if (error != ERROR_SUCCESS) return FailWith(error);
  if (where.exists || where.is_root) return FailWith(ERROR_ALREADY_EXISTS);
  if (where.out_of_sight) return FailWith(ERROR_ACCESS_DENIED);
  if (::mkdirat(where.folder.get(), where.leaf.c_str(), 0755) != 0)
    return FailWith(Win32ErrorFromErrno(errno));
  return TRUE;
}

W98API BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  EnterCall();
  Location where;
  const DWORD error = LocateArgument(lpPathName, where);
  if (error != ERROR_SUCCESS) return FailWith(error);
  if (!IsShownEntry(where)) return FailWith(ERROR_FILE_NOT_FOUND);
  if (where.is_root) return FailWith(ERROR_ACCESS_DENIED);
  if (!where.IsDirectory()) return FailWith(ERROR_DIRECTORY);
  if (ReadDosAttributes(where.folder.get(), where.leaf.c_str(), true) & FILE_ATTRIBUTE_READONLY)
    return FailWith(ERROR_ACCESS_DENIED);
  if (::unlinkat(where.folder.get(), where.leaf.c_str(), AT_REMOVEDIR) != 0)
    return FailWith(Win32ErrorFromErrno(errno));
  return TRUE;
}
