// Helpers shared by the file tests: host-side looks at what w98 did, and a listing helper.
#ifndef W98_TESTS_FS_FS_TEST_SUPPORT_H
#define W98_TESTS_FS_FS_TEST_SUPPORT_H

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "w98/windows.h"

namespace w98::testing {

// The raw user.DOSATTRIB value of a host file, or "<none>".
inline std::string HostDosAttrib(const std::filesystem::path& path) {
  char value[64];
  const ssize_t n = ::lgetxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value);
  return n < 0 ? std::string("<none>") : std::string(value, static_cast<size_t>(n));
}

inline void SetHostDosAttrib(const std::filesystem::path& path, const std::string& value) {
  ::lsetxattr(path.c_str(), "user.DOSATTRIB", value.data(), value.size(), 0);
}

// Sets a host file's modification time (seconds since 1970, plus nanoseconds).
inline void SetHostMtime(const std::filesystem::path& path, std::int64_t seconds, long nanos = 0) {
  timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), nanos}};
  ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

inline std::uint64_t AsUint64(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// FILETIME value of a host time in whole seconds since 1970.
inline std::uint64_t FileTimeOfUnix(std::int64_t seconds) {
  return static_cast<std::uint64_t>(seconds) * 10000000ULL + 116444736000000000ULL;
}

// Every name FindFirstFileA/FindNextFileA yields for `pattern`, in order; empty when the
// search fails (its error is then in *error).
inline std::vector<std::string> FindNames(const char* pattern, DWORD* error = nullptr) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  SetLastError(0xdeadbeef);
  HANDLE h = FindFirstFileA(pattern, &data);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return names;
  }
  do names.push_back(data.cFileName);
  while (FindNextFileA(h, &data));
  if (error) *error = GetLastError();
  FindClose(h);
  return names;
}

}  // namespace w98::testing

#endif  // W98_TESTS_FS_FS_TEST_SUPPORT_H
