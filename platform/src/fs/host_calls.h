// Host system calls that w98's file layer needs beyond POSIX: resolving a path beneath a folder
// without following any link, extended attributes of a name inside an open folder, and draining
// change notifications. Each falls back to a slower equivalent on kernels that lack the newer
// call.
#ifndef W98_SRC_FS_HOST_CALLS_H
#define W98_SRC_FS_HOST_CALLS_H

#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
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

// The identity of a host file: its device and inode. An open descriptor's never changes, so it
// is read once and kept with the descriptor.
struct HostFileId {
  dev_t dev = 0;
  ino_t ino = 0;

  static HostFileId Of(const struct stat& st) { return {st.st_dev, st.st_ino}; }
  bool operator==(const HostFileId&) const = default;
};

// Hands every change notification queued on the non-blocking inotify descriptor `fd` to
// `on_event`, in order. It stops at the first read that leaves the queue empty, so a queue
// with nothing in it costs one read.
void DrainNotifications(int fd, const std::function<void(const inotify_event&)>& on_event);

// The Win32 error for a host errno value (ENOENT -> ERROR_FILE_NOT_FOUND, ENOSPC ->
// ERROR_DISK_FULL, ...); unknown values give ERROR_GEN_FAILURE.
DWORD Win32ErrorFromErrno(int error);

// The C runtime errno for a Win32 error, as the Windows C runtime maps them (unknown: EINVAL).
int ErrnoFromWin32Error(DWORD error);

}  // namespace w98::internal

#endif  // W98_SRC_FS_HOST_CALLS_H
