#include "thread/machine_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "w98/winbase.h"

namespace w98::internal {
namespace {

int OpenFile(const std::filesystem::path& path) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

int FlockRetrying(int fd, int operation) {
  int rc;
  do {
    rc = ::flock(fd, operation);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

}  // namespace

std::string MachineLock::FileNameOf(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || (c == '.' && !out.empty())) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  if (out.size() > 180) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a over the whole name
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    char tail[20];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
    out = out.substr(0, 160) + tail;
  }
  return out;
}

std::unique_ptr<MachineLock> MachineLock::Open(const std::filesystem::path& run_folder,
                                               const std::string& name, DWORD initial_owner,
                                               bool* existed) {
  const std::filesystem::path dir = run_folder / "mutex";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string base = FileNameOf(name);
  const int guard = OpenFile(dir / ".guard");
  if (guard < 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  FlockRetrying(guard, LOCK_EX);
  const int ref_fd = OpenFile(dir / (base + ".ref"));
  const int lock_fd = OpenFile(dir / (base + ".lock"));
  std::unique_ptr<MachineLock> lock;
  if (ref_fd >= 0 && lock_fd >= 0) {
    // Only openers take the reference exclusively, and only under the guard: success means
    // no other process holds the name.
    *existed = FlockRetrying(ref_fd, LOCK_EX | LOCK_NB) != 0;
    FlockRetrying(ref_fd, LOCK_SH);
    lock.reset(new MachineLock(lock_fd, ref_fd));
    if (!*existed) {
      lock->WriteState("free\n");
      bool abandoned = false;
      if (initial_owner != 0) lock->TryAcquire(initial_owner, &abandoned);
    }
  } else {
    if (ref_fd >= 0) ::close(ref_fd);
    if (lock_fd >= 0) ::close(lock_fd);
    SetLastError(ERROR_ACCESS_DENIED);
  }
  FlockRetrying(guard, LOCK_UN);
  ::close(guard);
  return lock;
}

MachineLock::~MachineLock() {
  ::close(lock_fd_);
  ::close(ref_fd_);
}

void MachineLock::WriteState(const std::string& state) {
  if (::pwrite(lock_fd_, state.data(), state.size(), 0) == static_cast<ssize_t>(state.size()))
    (void)::ftruncate(lock_fd_, static_cast<off_t>(state.size()));
}

bool MachineLock::TryAcquire(DWORD thread_id, bool* abandoned) {
  if (FlockRetrying(lock_fd_, LOCK_EX | LOCK_NB) != 0) return false;
  char head[6] = {};
  const ssize_t n = ::pread(lock_fd_, head, 5, 0);
  *abandoned = n == 5 && std::string(head, 5) == "owned";
  WriteState("owned " + std::to_string(::getpid()) + " " + std::to_string(thread_id) + "\n");
  return true;
}

void MachineLock::Release() {
  WriteState("free\n");
  FlockRetrying(lock_fd_, LOCK_UN);
}

void MachineLock::Abandon() {
  FlockRetrying(lock_fd_, LOCK_UN);
}

}  // namespace w98::internal
