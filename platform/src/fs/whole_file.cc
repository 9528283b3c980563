#include "fs/whole_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "core/path.h"
#include "fs/capacity.h"
#include "fs/dos_attributes.h"
#include "fs/file_times.h"
#include "fs/host_calls.h"
#include "registry/storage_hooks.h"
#include "w98/winbase.h"

namespace w98::internal {
namespace {

// Like CopyFileA's, a name no Windows path can hold, so no listing shows it.
std::string TemporaryName() {
  static std::atomic<unsigned> counter{0};
  return ".w98-write:" + std::to_string(::getpid()) + "." + std::to_string(++counter);
}

DWORD WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Win32ErrorFromErrno(errno);
    done += static_cast<size_t>(n);
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD ReadWholeFile(std::string_view dos_path, std::string& bytes) {
  bytes.clear();
  Location where;
  DWORD error = LocateDosPath(dos_path, where);
  if (error != ERROR_SUCCESS) return error;
  if (!where.exists) return ERROR_FILE_NOT_FOUND;
  if (!where.IsFile()) return ERROR_ACCESS_DENIED;
  UniqueFd fd(::openat(where.folder.get(), where.leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) return Win32ErrorFromErrno(errno);
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Win32ErrorFromErrno(errno);
    if (n == 0) return ERROR_SUCCESS;
    bytes.append(buffer, static_cast<size_t>(n));
  }
}

DWORD ReplaceWholeFile(std::string_view dos_path, std::string_view bytes) {
  Location where;
  DWORD error = LocateDosPath(dos_path, where);
  if (error != ERROR_SUCCESS) return error;
  if (where.is_root || where.out_of_sight || (where.exists && !where.IsFile()))
    return ERROR_ACCESS_DENIED;
  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
  if (where.exists) {
    attributes |= ReadDosAttributes(where.folder.get(), where.leaf.c_str(), false);
    if (attributes & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
  }
  const std::int64_t growth = static_cast<std::int64_t>(bytes.size()) -
                              (where.exists ? static_cast<std::int64_t>(where.st.st_size) : 0);
  error = ChargeDrive(where.drive, growth);
  if (error != ERROR_SUCCESS) return error;

  const std::string temp = TemporaryName();
  UniqueFd fd(::openat(where.folder.get(), temp.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd.valid()) error = Win32ErrorFromErrno(errno);
  if (error == ERROR_SUCCESS) error = WriteAll(fd.get(), bytes);
  if (error == ERROR_SUCCESS) error = WriteDosAttributesOfFd(fd.get(), attributes);
  if (error == ERROR_SUCCESS) error = StampWithMachineClock(fd.get());
  if (error == ERROR_SUCCESS) {
    if (where.exists) BeforeHiveReplaced(where.host);
    if (::renameat(where.folder.get(), temp.c_str(), where.folder.get(), where.leaf.c_str()) != 0)
      error = Win32ErrorFromErrno(errno);
  }
  if (error != ERROR_SUCCESS) {
    if (fd.valid()) ::unlinkat(where.folder.get(), temp.c_str(), 0);
    ChargeDrive(where.drive, -growth);
  }
  return error;
}

}  // namespace w98::internal
