// Host system calls that w98's file layer needs beyond POSIX: resolving a path beneath a folder
// without following any link, and extended attributes of a name inside an open folder. Each
// falls back to a slower equivalent on kernels that lack the newer call.
#ifndef W98_SRC_FS_HOST_CALLS_H
#define W98_SRC_FS_HOST_CALLS_H

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "w98/windef.h"

namespace w98::internal {

// Opens `relative` (components separated by '/') beneath the folder `dir_fd` with `flags`,
// refusing every symbolic link on the way and any escape above `dir_fd`. Returns the new
// descriptor, or -1 with errno set (ELOOP or ENOTDIR for a link on the way). Returns -1 with
// errno ENOSYS when the kernel cannot do this in one call; callers then walk the components.
int OpenBeneath(int dir_fd, const char* relative, int flags);

// Reads the extended attribute `attr` of `name` inside the open folder `dir_fd`, never
// following a link. Returns the value's length, or -1 with errno set (ENODATA when absent).
ssize_t GetXattrAt(int dir_fd, const char* name, const char* attr, void* value, size_t size);
// Sets it likewise; 0 on success, -1 with errno set.
int SetXattrAt(int dir_fd, const char* name, const char* attr, const void* value, size_t size);

// True when two statuses are of the same host file (device and inode).
inline bool SameHostFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The Win32 error for a host errno value (ENOENT -> ERROR_FILE_NOT_FOUND, ENOSPC ->
// ERROR_DISK_FULL, ...); unknown values give ERROR_GEN_FAILURE.
DWORD Win32ErrorFromErrno(int error);

// The C runtime errno for a Win32 error, as the Windows C runtime maps them (unknown: EINVAL).
int ErrnoFromWin32Error(DWORD error);

}  // namespace w98::internal

#endif  // W98_SRC_FS_HOST_CALLS_H
