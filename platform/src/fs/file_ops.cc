// DeleteFileA, MoveFileA.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>

#include "core/api.h"
#include "fs/api_support.h"
#include "fs/capacity.h"
#include "fs/dos_attributes.h"
#include "fs/host_calls.h"
#include "registry/storage_hooks.h"

using namespace w98::internal;

W98API BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  EnterCall();
  Location where;
  const DWORD error = LocateArgument(lpFileName, where);
  if (error != ERROR_SUCCESS) return FailWith(error);
  if (!IsShownEntry(where)) return FailWith(ERROR_FILE_NOT_FOUND);
  if (where.IsDirectory()) return FailWith(ERROR_ACCESS_DENIED);
  if (ReadDosAttributes(where.folder.get(), where.leaf.c_str(), false) & FILE_ATTRIBUTE_READONLY)
    return FailWith(ERROR_ACCESS_DENIED);
  BeforeHiveReplaced(where.host);
  if (::unlinkat(where.folder.get(), where.leaf.c_str(), 0) != 0)
    return FailWith(Win32ErrorFromErrno(errno));
  ChargeDrive(where.drive, -static_cast<std::int64_t>(where.st.st_size));
  return TRUE;
}

W98API BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
  EnterCall();
  Location from;
  DWORD error = LocateArgument(lpExistingFileName, from);
  if (error != ERROR_SUCCESS) return FailWith(error);
  if (!IsShownEntry(from)) return FailWith(ERROR_FILE_NOT_FOUND);
  if (from.is_root) return FailWith(ERROR_ACCESS_DENIED);
  if (lpNewFileName == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  DosPath to_path;
  error = ParseDosPath(lpNewFileName, to_path);
  if (error != ERROR_SUCCESS) return FailWith(error);
  Location to;
  error = Locate(to_path, to);
  if (error != ERROR_SUCCESS) return FailWith(error);
  if (to.is_root || to.out_of_sight) return FailWith(ERROR_ACCESS_DENIED);
  if (to.drive != from.drive) return FailWith(ERROR_NOT_SAME_DEVICE);
  // The new name is created as written; an existing entry of that name is an error, unless
  // it is the entry being moved (a change of case only).
  const std::string& new_name = to_path.parts.back();
  if (to.exists && !SameHostFile(to.st, from.st)) return FailWith(ERROR_ALREADY_EXISTS);
  if (::renameat2(from.folder.get(), from.leaf.c_str(), to.folder.get(), new_name.c_str(),
                  RENAME_NOREPLACE) != 0) {
    // EINVAL: a folder moved into itself.
    if (errno == EEXIST) return FailWith(ERROR_ALREADY_EXISTS);
    if (errno == EINVAL) return FailWith(ERROR_ACCESS_DENIED);
    return FailWith(Win32ErrorFromErrno(errno));
  }
  return TRUE;
}
