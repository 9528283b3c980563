#include "profile/profile_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "core/api.h"
#include "core/machine.h"
#include "core/path.h"
#include "core/text.h"
#include "w98/io.h"
#include "w98/windows.h"

namespace w98::internal {
namespace {

// A host lock on a file of the run folder named after the profile's DOS path (upper case, so
// every spelling of one file shares it). Shared for readers, exclusive for writers.
class ProfileLock {
 public:
  ProfileLock(const std::string& dos_path, bool exclusive) {
    auto machine = Machine::Current();
    if (!machine) return;
    std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a
    for (char c : UpperCase(dos_path)) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ULL;
    }
    const std::filesystem::path folder = machine->RunFolder() / "profile-locks";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.lock", static_cast<unsigned long long>(hash));
    fd_ = ::open((folder / name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
    }
  }
  ~ProfileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  ProfileLock(const ProfileLock&) = delete;
  ProfileLock& operator=(const ProfileLock&) = delete;

 private:
  int fd_ = -1;
};

// The whole file through the C runtime calls; nullopt when it cannot be opened.
std::optional<std::string> ReadBytes(const std::string& dos_path) {
  const int fd = _open(dos_path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  char block[8192];
  for (;;) {
    const int n = _read(fd, block, sizeof block);
    if (n <= 0) break;
    bytes.append(block, static_cast<size_t>(n));
  }
  _close(fd);
  return bytes;
}

// The Win32 error of a failed C runtime call: the last error it set, else its errno.
DWORD FailureOfLastCall(DWORD fallback) {
  if (GetLastError() != ERROR_SUCCESS) return GetLastError();
  switch (errno) {
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case ENOSPC:
      return ERROR_DISK_FULL;
    default:
      return fallback;
  }
}

// Replaces the file's contents; ERROR_SUCCESS or the error of the failed call.
DWORD WriteBytes(const std::string& dos_path, const std::string& bytes) {
  SetLastError(ERROR_SUCCESS);
  errno = 0;
  const int fd =
      _open(dos_path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return FailureOfLastCall(ERROR_ACCESS_DENIED);
  size_t done = 0;
  DWORD error = ERROR_SUCCESS;
  while (done < bytes.size()) {
    const unsigned chunk = static_cast<unsigned>(std::min<size_t>(bytes.size() - done, 1 << 20));
    const int n = _write(fd, bytes.data() + done, chunk);
    if (n <= 0) {
      error = FailureOfLastCall(ERROR_WRITE_FAULT);
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (_close(fd) != 0 && error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
  return error;
}

bool HasFolder(const std::string& name) {
  return name.find_first_of("\\/:") != std::string::npos;
}

}  // namespace

std::optional<std::string> ProfilePath(const char* file_name) {
  auto machine = Machine::Current();
  if (!machine) return std::nullopt;
  const std::string name = file_name != nullptr ? file_name : "WIN.INI";
  if (HasFolder(name)) return name;
  return machine->WindowsFolder() + "\\" + name;
}

IniDocument ReadProfile(const std::string& dos_path) {
  const HeldLockScope nested_calls_do_not_stop;
  const ProfileLock lock(dos_path, false);
  return IniDocument::Parse(ReadBytes(dos_path).value_or(std::string()));
}

DWORD UpdateProfile(const std::string& dos_path, const std::function<void(IniDocument&)>& change) {
  const HeldLockScope nested_calls_do_not_stop;
  const ProfileLock lock(dos_path, true);
  const std::optional<std::string> old_bytes = ReadBytes(dos_path);
  IniDocument doc = IniDocument::Parse(old_bytes.value_or(std::string()));
  const std::string before = doc.Serialize();
  change(doc);
  const std::string after = doc.Serialize();
  if (after == before) return ERROR_SUCCESS;  // nothing changed: the file is not touched
  const DWORD error = WriteBytes(dos_path, after);
  if (error != ERROR_SUCCESS && error != ERROR_ACCESS_DENIED) {
    // A write that failed part-way (a full disk) must not cost the file: put the old contents
    // back (they fitted before), or remove a file that this call created.
    if (old_bytes)
      WriteBytes(dos_path, *old_bytes);
    else
      DeleteFileA(dos_path.c_str());
  }
  return error;
}

}  // namespace w98::internal
