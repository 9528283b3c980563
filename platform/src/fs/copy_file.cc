// CopyFileA.
//
// The copy is written as an unnamed file of the target's folder and linked into place only
// when it is complete, so a failure, a full disk or a thread stopped between blocks never
// leaves a partial target. Where a temporary name is needed (a replaced target, a hive copy, a
// host file system without unnamed files) it holds a ':', which no Windows name can, so no w98
// listing ever shows it and no DOS path can name it.
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

// Gives the unnamed file `fd` the name `name` in the folder `folder_fd`; 0 or -1 with errno.
// Straight from the descriptor where the process may (AT_EMPTY_PATH asks for
// CAP_DAC_READ_SEARCH and answers ENOENT without it), else through its /proc link.
int LinkUnnamed(int fd, int folder_fd, const char* name) {
  static std::atomic<bool> direct{true};
  if (direct.load(std::memory_order_relaxed)) {
    if (::linkat(fd, "", folder_fd, name, AT_EMPTY_PATH) == 0) return 0;
    if (errno != ENOENT && errno != EPERM) return -1;
  }
  char proc[64];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  const int rc = ::linkat(AT_FDCWD, proc, folder_fd, name, AT_SYMLINK_FOLLOW);
  // The /proc link works where the direct one did not: the process lacks the capability.
  if (rc == 0) direct.store(false, std::memory_order_relaxed);
  return rc;
}

// The copy being written, where no listing sees it until Publish gives it the target's name:
// an unnamed file of the target's folder (O_TMPFILE), or, where the host file system has no
// unnamed files, a temporary name there. Removed unless published (also while a stopped thread
// unwinds through the copy).
class PendingCopy {
 public:
  explicit PendingCopy(int folder_fd) : folder_fd_(folder_fd) {}
  ~PendingCopy() {
    if (!published_ && !temp_name_.empty()) ::unlinkat(folder_fd_, temp_name_.c_str(), 0);
  }
  PendingCopy(const PendingCopy&) = delete;
  PendingCopy& operator=(const PendingCopy&) = delete;

  // Opens the file for writing. Returns ERROR_SUCCESS or a Win32 error.
  DWORD Open() {
    fd_.reset(::openat(folder_fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644));
    if (fd_.valid()) return ERROR_SUCCESS;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
      return Win32ErrorFromErrno(errno);
    return OpenNamed();
  }
  // Adopts a file another writer made under a temporary name in the folder.
  void AdoptNamed(std::string name) { temp_name_ = std::move(name); }

  int fd() const { return fd_.get(); }
  // The copy's time of last write and DOS attributes. The copy is a new file, which reads as
  // archive only while it has no attribute record: a record is written only for other bits
  // (most files have no other, and the copy then costs one write fewer).
  DWORD SetMetadata(DWORD attributes, const timespec& mtime) {
    const timespec times[2] = {{0, UTIME_OMIT}, mtime};
    const bool record = (attributes & kStoredAttributeBits) != FILE_ATTRIBUTE_ARCHIVE;
    if (fd_.valid()) {
      if (::futimens(fd_.get(), times) != 0) return Win32ErrorFromErrno(errno);
      return record ? WriteDosAttributesOfFd(fd_.get(), attributes) : ERROR_SUCCESS;
    }
    if (::utimensat(folder_fd_, temp_name_.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
      return Win32ErrorFromErrno(errno);
    return record ? WriteDosAttributes(folder_fd_, temp_name_.c_str(), attributes) : ERROR_SUCCESS;
  }
  // Gives the finished copy the name `leaf`. With `replace` false a file of that name is
  // ERROR_FILE_EXISTS and stays as it is; with `replace` true it is replaced in one step.
  DWORD Publish(const std::string& leaf, bool replace) {
    if (temp_name_.empty()) {
      // An unnamed file gets its name by a link, which never replaces: a replacing copy is
      // linked under a temporary name first and renamed over the target below.
      const std::string name = replace ? TemporaryName() : leaf;
      if (LinkUnnamed(fd_.get(), folder_fd_, name.c_str()) != 0)
        return errno == EEXIST ? ERROR_FILE_EXISTS : Win32ErrorFromErrno(errno);
      if (!replace) return Published();
      temp_name_ = name;
    }
    if (replace) {
      if (::renameat(folder_fd_, temp_name_.c_str(), folder_fd_, leaf.c_str()) != 0)
        return Win32ErrorFromErrno(errno);
    } else if (::renameat2(folder_fd_, temp_name_.c_str(), folder_fd_, leaf.c_str(),
                           RENAME_NOREPLACE) != 0) {
      return errno == EEXIST ? ERROR_FILE_EXISTS : Win32ErrorFromErrno(errno);
    }
    return Published();
  }

 private:
  DWORD OpenNamed() {
    temp_name_ = TemporaryName();
    fd_.reset(::openat(folder_fd_, temp_name_.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd_.valid()) return ERROR_SUCCESS;
    const DWORD error = Win32ErrorFromErrno(errno);
    temp_name_.clear();
    return error;
  }
  DWORD Published() {
    published_ = true;
    return ERROR_SUCCESS;
  }

  int folder_fd_;
  UniqueFd fd_;
  std::string temp_name_;  // empty while the file has no name
  bool published_ = false;
};

// Copies the bytes of `in` to the new file `out` block by block, counting them in `copied`;
// between blocks the calling thread may be suspended or stopped (EnterCall throws then).
// Returns ERROR_SUCCESS or a Win32 error.
DWORD CopyBlocks(int in, int out, std::int64_t& copied) {
  bool kernel_copy = true;  // copy_file_range, until the host file system refuses it
  std::string buffer;
  copied = 0;
  for (bool first = true;; first = false) {
    if (!first) EnterCall();
    if (kernel_copy) {
      const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kBlockSize, 0);
      if (n == 0) return ERROR_SUCCESS;
      if (n > 0) copied += n;
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
    copied += n;
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

// Copies the bytes of the open source `in` into `copy`, charging the drive for them.
// `source_st` receives the source's status as read, `copied` the size of the copy.
DWORD CopyPlainFile(int in, PendingCopy& copy, CopyCharge& charge, std::int64_t replaced,
                    struct stat& source_st, std::int64_t& copied) {
  if (::fstat(in, &source_st) != 0 || !S_ISREG(source_st.st_mode)) return ERROR_ACCESS_DENIED;
  DWORD error = charge.SetTotal(static_cast<std::int64_t>(source_st.st_size) - replaced);
  if (error != ERROR_SUCCESS) return error;
  error = copy.Open();
  if (error != ERROR_SUCCESS) return error;
  return CopyBlocks(in, copy.fd(), copied);
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
    if (fail_if_exists || SameHostFile(to.st, from.st)) return ERROR_FILE_EXISTS;
    const DWORD bits = ReadDosAttributes(to.folder.get(), to.leaf.c_str(), false);
    if (bits & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) return ERROR_ACCESS_DENIED;
  }

  const DWORD injected = TakeCopyFault();
  // The drive is charged what the copy adds: its size less what the replaced file held.
  const std::int64_t replaced = to.exists ? static_cast<std::int64_t>(to.st.st_size) : 0;
  CopyCharge charge(to.drive);
  PendingCopy copy(to.folder.get());
  struct stat source_st = from.st;
  std::int64_t copied = 0;  // the size of the copy

  // A database file (a hive, perhaps written by another process right now) is copied by the
  // registry storage as of one moment; any other file byte for byte. A hive this process has
  // open is never opened with a plain descriptor here.
  UniqueFd in;
  const auto open_source = [&] {
    in.reset(::openat(from.folder.get(), from.leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    return in.valid() ? ERROR_SUCCESS : Win32ErrorFromErrno(errno);
  };
  bool plain = !HiveFileInUse(from.st);
  if (plain) {
    if ((error = open_source()) != ERROR_SUCCESS) return error;
    if (HasDatabaseHeader(in.get(), from.st)) {
      in.reset();
      plain = false;
    }
  }
  // The source's attributes, through its descriptor when it is open.
  const DWORD attributes =
      (in.valid() ? ReadDosAttributesOfFd(in.get(), false)
                  : ReadDosAttributes(from.folder.get(), from.leaf.c_str(), false)) |
      FILE_ATTRIBUTE_ARCHIVE;
  if (!plain) {
    const std::string temp = TemporaryName();
    DWORD hive_error = ERROR_SUCCESS;
    if (CopyHiveConsistently(from.host, std::filesystem::path(to.host).parent_path() / temp,
                             &hive_error)) {
      if (hive_error != ERROR_SUCCESS) return hive_error;
      copy.AdoptNamed(temp);
      struct stat copy_st {};
      if (::fstatat(to.folder.get(), temp.c_str(), &copy_st, AT_SYMLINK_NOFOLLOW) != 0)
        return Win32ErrorFromErrno(errno);
      copied = static_cast<std::int64_t>(copy_st.st_size);
    } else {
      // Not a database after all: its bytes are the copy.
      if ((error = open_source()) != ERROR_SUCCESS) return error;
      plain = true;
    }
  }
  if (plain) {
    error = CopyPlainFile(in.get(), copy, charge, replaced, source_st, copied);
    if (error != ERROR_SUCCESS) return error;
  }
  // The source may have grown or shrunk while it was read.
  error = charge.SetTotal(copied - replaced);
  if (error != ERROR_SUCCESS) return error;
  if (injected != ERROR_SUCCESS) return injected;
  error = copy.SetMetadata(attributes, source_st.st_mtim);
  if (error != ERROR_SUCCESS) return error;

  if (to.exists) BeforeHiveReplaced(to.host);
  error = copy.Publish(to.leaf, to.exists);
  if (error != ERROR_SUCCESS) return error;
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
