#include "fs/file_times.h"

#include <sys/stat.h>

#include <cerrno>

#include "core/clock.h"
#include "fs/host_calls.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

constexpr std::uint64_t kTwoSeconds = 20'000'000;  // in 100-ns units

}  // namespace

FILETIME ReportedWriteTime(const struct stat& st) {
  const std::uint64_t exact = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  return ToFileTime(exact - exact % kTwoSeconds);
}

DWORD StampWithMachineClock(int fd) {
  std::int64_t seconds = 0, nanoseconds = 0;
  UnixFromFileTime(MachineNowFileTime(), seconds, nanoseconds);
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the access time is left as the host keeps it
  times[1].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_nsec = static_cast<long>(nanoseconds);
  if (::futimens(fd, times) != 0) return Win32ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

}  // namespace w98::internal
