#include "fs/host_calls.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/openat2.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "w98/winerror.h"

namespace w98::internal {
namespace {

// System call numbers are shared by every architecture from 424 on; the C library of the
// build machine may not know the newest ones yet.
#ifndef SYS_openat2
constexpr long kSysOpenat2 = 437;
#else
constexpr long kSysOpenat2 = SYS_openat2;
#endif
constexpr long kSysSetxattrat = 463;
constexpr long kSysGetxattrat = 464;

struct XattrArgs {
  std::uint64_t value;
  std::uint32_t size;
  std::uint32_t flags;
};

// Cleared once the kernel has said that it lacks a call, so that the fallback is taken from
// then on without asking again.
std::atomic<bool> g_have_openat2{true};
std::atomic<bool> g_have_xattrat{true};

// After a failed call of a newer system call: true when the fallback should answer instead.
// A sandbox filter may refuse an unknown call with EPERM rather than ENOSYS; such a refusal
// is answered by the fallback, which gives EPERM again when it was a genuine refusal.
bool UseFallback(std::atomic<bool>& have) {
  if (errno == ENOSYS) {
    have.store(false, std::memory_order_relaxed);
    return true;
  }
  return errno == EPERM;
}

// "/proc/self/fd/N/name": the name inside the open folder, reached through the descriptor
// rather than through the folder's path, so a folder renamed or swapped meanwhile is not
// followed. The l*xattr calls do not follow a link in the last component.
bool ProcPath(int dir_fd, const char* name, char* out, size_t size) {
  const int n = std::snprintf(out, size, "/proc/self/fd/%d/%s", dir_fd, name);
  return n > 0 && static_cast<size_t>(n) < size;
}

}  // namespace

int OpenBeneath(int dir_fd, const char* relative, int flags) {
  if (g_have_openat2.load(std::memory_order_relaxed)) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags) | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(kSysOpenat2, dir_fd, relative, &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    if (!UseFallback(g_have_openat2)) return -1;
  }
  errno = ENOSYS;
  return -1;
}

ssize_t GetXattrAt(int dir_fd, const char* name, const char* attr, void* value, size_t size) {
  if (g_have_xattrat.load(std::memory_order_relaxed)) {
    XattrArgs args{reinterpret_cast<std::uintptr_t>(value), static_cast<std::uint32_t>(size), 0};
    const long n =
        ::syscall(kSysGetxattrat, dir_fd, name, AT_SYMLINK_NOFOLLOW, attr, &args, sizeof args);
    if (n >= 0) return n;
    if (!UseFallback(g_have_xattrat)) return -1;
  }
  char path[4200];
  if (!ProcPath(dir_fd, name, path, sizeof path)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  return ::lgetxattr(path, attr, value, size);
}

int SetXattrAt(int dir_fd, const char* name, const char* attr, const void* value, size_t size) {
  if (g_have_xattrat.load(std::memory_order_relaxed)) {
    XattrArgs args{reinterpret_cast<std::uintptr_t>(value), static_cast<std::uint32_t>(size), 0};
    const long r =
        ::syscall(kSysSetxattrat, dir_fd, name, AT_SYMLINK_NOFOLLOW, attr, &args, sizeof args);
    if (r == 0) return 0;
    if (!UseFallback(g_have_xattrat)) return -1;
  }
  char path[4200];
  if (!ProcPath(dir_fd, name, path, sizeof path)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  return ::lsetxattr(path, attr, value, size, 0);
}

void DrainNotifications(int fd, const std::function<void(const inotify_event&)>& on_event) {
  // A read hands over as many queued events as fit; one that leaves room for the largest
  // possible event therefore took the whole queue. The buffer is modest: every file call of
  // every thread comes here, and a program may give a thread as little as 64 KiB of stack.
  constexpr size_t kLargestEvent = sizeof(inotify_event) + NAME_MAX + 1;
  alignas(inotify_event) char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // EAGAIN: nothing more
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      on_event(*e);
    }
    if (static_cast<size_t>(n) <= sizeof buffer - kLargestEvent) return;
  }
}

DWORD Win32ErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case ELOOP:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ERROR_DISK_FULL;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
      return ERROR_BUSY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

int ErrnoFromWin32Error(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return ENOENT;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_ACCESS_DENIED:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_LOCK_VIOLATION:
    case ERROR_SHARING_VIOLATION:
    case ERROR_CANNOT_MAKE:
    case ERROR_NOT_READY:
      return EACCES;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
      return ENOSPC;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    default:
      return EINVAL;
  }
}

}  // namespace w98::internal
