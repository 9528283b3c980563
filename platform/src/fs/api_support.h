// Small shapes shared by the Win32 file calls of w98.
#ifndef W98_SRC_FS_API_SUPPORT_H
#define W98_SRC_FS_API_SUPPORT_H

#include <string>
#include <string_view>

#include "core/path.h"
#include "w98/winbase.h"

namespace w98::internal {

// Sets the calling thread's last error and returns `result` (FALSE unless given).
template <class T = BOOL>
T FailWith(DWORD error, T result = T{}) {
  SetLastError(error);
  return result;
}

// Resolves the DOS path argument of a call. A NULL argument is ERROR_INVALID_PARAMETER, an
// empty one ERROR_PATH_NOT_FOUND. Returns ERROR_SUCCESS or the error to report.
DWORD LocateArgument(LPCSTR path, Location& out);

// The on-disk status of a located entry that w98 shows: a regular file or a folder. Other
// kinds (fifos, sockets, devices) count as missing.
inline bool IsShownEntry(const Location& where) {
  return where.IsFile() || where.IsDirectory();
}

// The return convention of GetCurrentDirectoryA, GetTempPathA, GetFullPathNameA and the
// Get*DirectoryA calls: when `text` and its NUL fit in `size` bytes, copies them and returns
// the length; otherwise leaves the buffer alone and returns the size needed (with the NUL).
DWORD ReturnPathText(std::string_view text, LPSTR buffer, DWORD size);

}  // namespace w98::internal

#endif  // W98_SRC_FS_API_SUPPORT_H
