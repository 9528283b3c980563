// _open, _read, _write, _lseek, _tell, _filelength, _commit, _close over DOS paths.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>

#include "core/api.h"
#include "crt/descriptor_table.h"
#include "crt/text_mode.h"
#include "fs/api_support.h"
#include "fs/capacity.h"
#include "fs/dos_attributes.h"
#include "fs/file_times.h"
#include "fs/host_calls.h"
#include "registry/storage_hooks.h"
#include "w98/io.h"

namespace w98::internal {
namespace {

// Fails a C runtime call: the Win32 last error and the matching errno.
template <class T = int>
T CrtFail(DWORD error) {
  SetLastError(error);
  errno = ErrnoFromWin32Error(error);
  return static_cast<T>(-1);
}

template <class T = int>
T CrtFailErrno(int error) {
  SetLastError(Win32ErrorFromErrno(error));
  errno = error;
  return static_cast<T>(-1);
}

// Sets the archive bit of an open file once per open: a file written through w98 is marked
// for backup, as the FAT file system marks it.
DWORD MarkArchive(CrtFile& file) {
  if (file.archive_set) return ERROR_SUCCESS;
  const DWORD bits = ReadDosAttributesOfFd(file.fd.get(), false);
  const DWORD error = (bits & FILE_ATTRIBUTE_ARCHIVE)
                          ? ERROR_SUCCESS
                          : WriteDosAttributesOfFd(file.fd.get(), bits | FILE_ATTRIBUTE_ARCHIVE);
  if (error == ERROR_SUCCESS) file.archive_set = true;
  return error;
}

// Charges the drive for what writing `size` bytes at the file's position adds to the file.
// Nothing is written when it does not fit (ERROR_DISK_FULL).
DWORD ChargeGrowth(CrtFile& file, size_t size) {
  if (!DriveHasCapacity(file.drive)) return ERROR_SUCCESS;
  struct stat st {};
  if (::fstat(file.fd.get(), &st) != 0) return Win32ErrorFromErrno(errno);
  const off_t position = file.append ? st.st_size : ::lseek(file.fd.get(), 0, SEEK_CUR);
  const std::int64_t growth =
      static_cast<std::int64_t>(position) + static_cast<std::int64_t>(size) - st.st_size;
  return growth > 0 ? ChargeDrive(file.drive, growth) : ERROR_SUCCESS;
}

int HostAccess(int oflag) {
  switch (oflag & (_O_WRONLY | _O_RDWR)) {
    case _O_WRONLY:
      return O_WRONLY;
    case _O_RDWR:
      return O_RDWR;
    default:
      return O_RDONLY;
  }
}

int Open(const char* filename, int oflag, int pmode) {
  if ((oflag & (_O_WRONLY | _O_RDWR)) == (_O_WRONLY | _O_RDWR)) return CrtFailErrno(EINVAL);
  Location where;
  const DWORD error = LocateArgument(filename, where);
  if (error != ERROR_SUCCESS) return CrtFail(error);
  if (where.out_of_sight)
    return CrtFail((oflag & _O_CREAT) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
  if (where.exists && !where.IsFile()) return CrtFail(ERROR_ACCESS_DENIED);

  auto file = std::make_shared<CrtFile>();
  file->drive = where.drive;
  file->text = !(oflag & _O_BINARY);
  const int access = HostAccess(oflag);
  file->can_read = access != O_WRONLY;
  file->can_write = access != O_RDONLY;
  int flags = access | O_NOFOLLOW | O_CLOEXEC;
  if ((oflag & _O_APPEND) && file->can_write) {
    flags |= O_APPEND;
    file->append = true;
  }

  if (where.exists) {
    if ((oflag & _O_CREAT) && (oflag & _O_EXCL)) return CrtFail(ERROR_FILE_EXISTS);
    const bool changes = file->can_write || (oflag & _O_TRUNC);
    if (changes && (ReadDosAttributes(where.folder.get(), where.leaf.c_str(), false) &
                    FILE_ATTRIBUTE_READONLY))
      return CrtFail(ERROR_ACCESS_DENIED);
    file->fd.reset(::openat(where.folder.get(), where.leaf.c_str(), flags));
    if (!file->fd.valid()) return CrtFailErrno(errno);
    if (oflag & _O_TRUNC) {
      BeforeHiveReplaced(where.host);
      struct stat st {};
      if (::fstat(file->fd.get(), &st) != 0 || ::ftruncate(file->fd.get(), 0) != 0)
        return CrtFailErrno(errno);
      ChargeDrive(file->drive, -static_cast<std::int64_t>(st.st_size));
      file->written = true;
      if (const DWORD e = MarkArchive(*file); e != ERROR_SUCCESS) return CrtFail(e);
    }
  } else {
    if (!(oflag & _O_CREAT)) return CrtFail(ERROR_FILE_NOT_FOUND);
    file->fd.reset(
        ::openat(where.folder.get(), where.leaf.c_str(), flags | O_CREAT | O_EXCL, 0644));
    if (!file->fd.valid()) return CrtFailErrno(errno);
    file->written = true;
    file->read_only_on_close = !(pmode & _S_IWRITE);
    if (const DWORD e = MarkArchive(*file); e != ERROR_SUCCESS) {
      ::unlinkat(where.folder.get(), where.leaf.c_str(), 0);
      return CrtFail(e);
    }
  }
  const int fd = InsertCrtFile(std::move(file));
  if (fd < 0) return CrtFail(ERROR_TOO_MANY_OPEN_FILES);
  return fd;
}

ssize_t WriteAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace
}  // namespace w98::internal

using namespace w98::internal;

W98API int _open(const char* filename, int oflag, ...) {
  EnterCall();
  int pmode = 0;
  if (oflag & _O_CREAT) {
    va_list args;
    va_start(args, oflag);
    pmode = va_arg(args, int);
    va_end(args);
  }
  return Open(filename, oflag, pmode);
}

W98API int _read(int fd, void* buffer, unsigned int count) {
  EnterCall();
  auto file = FindCrtFile(fd);
  if (!file || !file->can_read) return CrtFail(ERROR_INVALID_HANDLE);
  if (count == 0) return 0;
  if (buffer == nullptr) return CrtFail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lock(file->mutex);
  char* out = static_cast<char*>(buffer);
  if (file->text) {
    const long n = ReadText(file->fd.get(), out, count);
    return n < 0 ? CrtFailErrno(errno) : static_cast<int>(n);
  }
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(file->fd.get(), out + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return CrtFailErrno(errno);
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int>(done);
}

W98API int _write(int fd, const void* buffer, unsigned int count) {
  EnterCall();
  auto file = FindCrtFile(fd);
  if (!file || !file->can_write) return CrtFail(ERROR_INVALID_HANDLE);
  if (count == 0) return 0;
  if (buffer == nullptr) return CrtFail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lock(file->mutex);
  const std::string_view data(static_cast<const char*>(buffer), count);
  std::string expanded;
  if (file->text) expanded = ExpandLineEnds(data);
  const std::string_view bytes = file->text ? std::string_view(expanded) : data;
  if (const DWORD e = ChargeGrowth(*file, bytes.size()); e != ERROR_SUCCESS) return CrtFail(e);
  if (const DWORD e = MarkArchive(*file); e != ERROR_SUCCESS) return CrtFail(e);
  file->written = true;
  if (WriteAll(file->fd.get(), bytes.data(), bytes.size()) < 0) return CrtFailErrno(errno);
  return static_cast<int>(count);
}

W98API long _lseek(int fd, long offset, int origin) {
  EnterCall();
  auto file = FindCrtFile(fd);
  if (!file) return CrtFail<long>(ERROR_INVALID_HANDLE);
  int whence;
  switch (origin) {
    case _SEEK_SET:
      whence = SEEK_SET;
      break;
    case _SEEK_CUR:
      whence = SEEK_CUR;
      break;
    case _SEEK_END:
      whence = SEEK_END;
      break;
    default:
      return CrtFail<long>(ERROR_INVALID_PARAMETER);
  }
  std::lock_guard<std::mutex> lock(file->mutex);
  const off_t position = ::lseek(file->fd.get(), offset, whence);
  if (position < 0) return CrtFail<long>(ERROR_INVALID_PARAMETER);
  return static_cast<long>(position);
}

W98API long _tell(int fd) {
  return _lseek(fd, 0, _SEEK_CUR);
}

W98API long _filelength(int fd) {
  EnterCall();
  auto file = FindCrtFile(fd);
  if (!file) return CrtFail<long>(ERROR_INVALID_HANDLE);
  struct stat st {};
  if (::fstat(file->fd.get(), &st) != 0) return CrtFailErrno<long>(errno);
  return static_cast<long>(st.st_size);
}

W98API int _commit(int fd) {
  EnterCall();
  auto file = FindCrtFile(fd);
  if (!file) return CrtFail(ERROR_INVALID_HANDLE);
  std::lock_guard<std::mutex> lock(file->mutex);
  if (::fsync(file->fd.get()) != 0) return CrtFailErrno(errno);
  return 0;
}

W98API int _close(int fd) {
  EnterReleaseCall();
  auto file = RemoveCrtFile(fd);
  if (!file) return CrtFail(ERROR_INVALID_HANDLE);
  std::lock_guard<std::mutex> lock(file->mutex);
  int result = 0;
  // The file's time and final attributes are settled when it is closed, as Windows does.
  if (file->written && StampWithMachineClock(file->fd.get()) != ERROR_SUCCESS) result = -1;
  if (file->read_only_on_close) {
    const DWORD bits = ReadDosAttributesOfFd(file->fd.get(), false);
    if (WriteDosAttributesOfFd(file->fd.get(), bits | FILE_ATTRIBUTE_READONLY) != ERROR_SUCCESS)
      result = -1;
  }
  file->fd.reset();
  if (result != 0) return CrtFail(ERROR_WRITE_FAULT);
  return 0;
}
