// CopyFileA.
//
// The copy is written under a temporary name in the target's folder and renamed into place
// only when it is complete, so a failure, a full disk or a thread stopped between blocks
// never leaves a partial target. The temporary name holds a ':' , which no Windows name can,
// so no w98 listing ever shows it and no DOS path can name it.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "core/api.h"
#include "fs/api_support.h"
#include "fs/capacity.h"
#include "fs/dos_attributes.h"
#include "fs/faults.h"
#include "fs/host_calls.h"
#include "registry/storage_hooks.h"

namespace w98::internal {
namespace {

constexpr size_t kBlockSize = 256 * 1024;

std::string TemporaryName() {
  static std::atomic<unsigned> counter{0};
  return ".w98-copy:" + std::to_string(::getpid()) + "." + std::to_string(++counter);
}

// Removes the temporary file unless the copy was committed (also while a stopped thread
// unwinds through the copy).
class TemporaryFile {
 public:
  TemporaryFile(int folder_fd, std::string name) : folder_fd_(folder_fd), name_(std::move(name)) {}
  ~TemporaryFile() {
    if (!committed_) ::unlinkat(folder_fd_, name_.c_str(), 0);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& name() const { return name_; }
  void Commit() { committed_ = true; }

 private:
  int folder_fd_;
  std::string name_;
  bool committed_ = false;
};

// Copies the bytes of `in` to `out` block by block; between blocks the calling thread may be
// suspended or stopped (EnterCall throws then). Returns ERROR_SUCCESS or a Win32 error.
DWORD CopyBlocks(int in, int out) {
  bool kernel_copy = true;  // copy_file_range, until the host file system refuses it
  std::string buffer;
  for (bool first = true;; first = false) {
    if (!first) EnterCall();
    if (kernel_copy) {
      const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kBlockSize, 0);
      if (n == 0) return ERROR_SUCCESS;
      if (n > 0 || errno == EINTR) continue;
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return Win32ErrorFromErrno(errno);
      kernel_copy = false;
      buffer.resize(kBlockSize);
    }
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n == 0) return ERROR_SUCCESS;
    if (n < 0) {
      if (errno == EINTR) continue;
      return ERROR_READ_FAULT;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno != EINTR) return Win32ErrorFromErrno(errno);
      if (w > 0) done += w;
    }
  }
}

// Space charged to a drive for one copy, given back unless the copy is kept.
class CopyCharge {
 public:
  explicit CopyCharge(char drive) : drive_(drive) {}
  ~CopyCharge() {
    if (!kept_ && charged_ != 0) ChargeDrive(drive_, -charged_);
  }
  CopyCharge(const CopyCharge&) = delete;
  CopyCharge& operator=(const CopyCharge&) = delete;
  // Charges the drive so that the total charged is `total`; ERROR_DISK_FULL when it does
  // not fit.
  DWORD SetTotal(std::int64_t total) {
    const DWORD error = ChargeDrive(drive_, total - charged_);
    if (error == ERROR_SUCCESS) charged_ = total;
    return error;
  }
  void Keep() { kept_ = true; }

 private:
  char drive_;
  std::int64_t charged_ = 0;
  bool kept_ = false;
};

DWORD SetCopyMetadata(int folder_fd, const char* name, DWORD attributes, const timespec& mtime) {
  const timespec times[2] = {{0, UTIME_OMIT}, mtime};
  if (::utimensat(folder_fd, name, times, AT_SYMLINK_NOFOLLOW) != 0)
    return Win32ErrorFromErrno(errno);
  return WriteDosAttributes(folder_fd, name, attributes);
}

DWORD CopyFileImpl(LPCSTR existing, LPCSTR target, BOOL fail_if_exists) {
  Location from;
  DWORD error = LocateArgument(existing, from);
  if (error != ERROR_SUCCESS) return error;
  if (!IsShownEntry(from)) return ERROR_FILE_NOT_FOUND;
  if (from.IsDirectory()) return ERROR_ACCESS_DENIED;
  if (target == nullptr) return ERROR_INVALID_PARAMETER;
  DosPath to_path;
  error = ParseDosPath(target, to_path);
  if (error != ERROR_SUCCESS) return error;
  Location to;
  error = Locate(to_path, to);
  if (error != ERROR_SUCCESS) return error;
  if (to.is_root || to.out_of_sight || (to.exists && !to.IsFile())) return ERROR_ACCESS_DENIED;
  if (to.exists) {
    // Windows 98 answers a copy onto itself as a copy onto an existing file.
    if (fail_if_exists || (to.st.st_dev == from.st.st_dev && to.st.st_ino == from.st.st_ino))
      return ERROR_FILE_EXISTS;
    const DWORD bits = ReadDosAttributes(to.folder.get(), to.leaf.c_str(), false);
    if (bits & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) return ERROR_ACCESS_DENIED;
  }

  const DWORD attributes =
      ReadDosAttributes(from.folder.get(), from.leaf.c_str(), false) | FILE_ATTRIBUTE_ARCHIVE;
  const DWORD injected = TakeCopyFault();
  // The drive is charged what the copy adds: its size less what the replaced file held.
  const std::int64_t replaced = to.exists ? static_cast<std::int64_t>(to.st.st_size) : 0;
  CopyCharge charge(to.drive);
  TemporaryFile temp(to.folder.get(), TemporaryName());
  bool hive_copied = false;
  DWORD hive_error = ERROR_SUCCESS;
  if (CopyHiveConsistently(from.host, to.host.parent_path() / temp.name(), &hive_error)) {
    if (hive_error != ERROR_SUCCESS) return hive_error;
    hive_copied = true;
  }
  struct stat source_st = from.st;
  struct stat copy_st {};
  if (hive_copied) {
    if (::fstatat(to.folder.get(), temp.name().c_str(), &copy_st, AT_SYMLINK_NOFOLLOW) != 0)
      return Win32ErrorFromErrno(errno);
  } else {
    UniqueFd in(::openat(from.folder.get(), from.leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in.valid()) return Win32ErrorFromErrno(errno);
    if (::fstat(in.get(), &source_st) != 0 || !S_ISREG(source_st.st_mode))
      return ERROR_ACCESS_DENIED;
    error = charge.SetTotal(static_cast<std::int64_t>(source_st.st_size) - replaced);
    if (error != ERROR_SUCCESS) return error;
    UniqueFd out(::openat(to.folder.get(), temp.name().c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out.valid()) return Win32ErrorFromErrno(errno);
    error = CopyBlocks(in.get(), out.get());
    if (error != ERROR_SUCCESS) return error;
    if (::fstat(out.get(), &copy_st) != 0) return Win32ErrorFromErrno(errno);
  }
  // The source may have grown or shrunk while it was read.
  error = charge.SetTotal(static_cast<std::int64_t>(copy_st.st_size) - replaced);
  if (error != ERROR_SUCCESS) return error;
  if (injected != ERROR_SUCCESS) return injected;
  error = SetCopyMetadata(to.folder.get(), temp.name().c_str(), attributes, source_st.st_mtim);
  if (error != ERROR_SUCCESS) return error;

  if (to.exists) {
    BeforeHiveReplaced(to.host);
    if (::renameat(to.folder.get(), temp.name().c_str(), to.folder.get(), to.leaf.c_str()) != 0)
      return Win32ErrorFromErrno(errno);
  } else if (::renameat2(to.folder.get(), temp.name().c_str(), to.folder.get(), to.leaf.c_str(),
                         RENAME_NOREPLACE) != 0) {
    return errno == EEXIST ? ERROR_FILE_EXISTS : Win32ErrorFromErrno(errno);
  }
  temp.Commit();
  charge.Keep();
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace w98::internal

W98API BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  w98::internal::EnterCall();
  const DWORD error = w98::internal::CopyFileImpl(lpExistingFileName, lpNewFileName, bFailIfExists);
  if (error != ERROR_SUCCESS) return w98::internal::FailWith(error);
  return TRUE;
}
