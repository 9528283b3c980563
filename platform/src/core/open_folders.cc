#include "core/open_folders.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>

#include "fs/host_calls.h"

namespace w98::internal {
namespace {

// What a watched folder reports: entries removed or moved in or out (a folder of those among
// them changes paths), and the folder itself deleted or moved. Entries made are not watched: a
// new entry cannot change where an existing path leads.
constexpr std::uint32_t kWatchMask =
    IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Kept folders and watches are bounded; past the bound the folders are forgotten. Each kept
// folder holds a descriptor, and a process may have as few as 1,024: the bound leaves nearly all
// of them to the program. File calls mostly work in one folder after another, so a few dozen
// folders serve them.
constexpr size_t kMaxKept = 64;
constexpr size_t kMaxWatches = 4096;

// Counts the forks of this process, as seen in each child: an object made before a fork must
// not be used in the child, which shares its notification queue with the parent and may hold
// its lock as another thread left it.
std::atomic<std::uint64_t> g_fork_epoch{0};

std::uint64_t ForkEpoch() {
  static const bool registered = [] {
    ::pthread_atfork(nullptr, nullptr,
                     [] { g_fork_epoch.fetch_add(1, std::memory_order_relaxed); });
    return true;
  }();
  (void)registered;
  return g_fork_epoch.load(std::memory_order_relaxed);
}

bool ChangesPaths(const inotify_event& e) {
  if (e.mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) return true;
  return (e.mask & IN_ISDIR) && (e.mask & (IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO));
}

bool IsFolder(int fd, const HostFileId& id) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && HostFileId::Of(st) == id;
}

}  // namespace

OpenFolders::OpenFolders() : fork_epoch_(ForkEpoch()) {}

OpenFolders::~OpenFolders() = default;

bool OpenFolders::Usable() const {
  return fork_epoch_ == g_fork_epoch.load(std::memory_order_relaxed);
}

bool OpenFolders::Find(const std::string& key, SharedFd* folder, HostFileId* id,
                       std::vector<std::string>* on_disk) {
  if (!Usable()) return false;
  std::lock_guard<AdaptiveMutex> lock(mutex_);
  if (!notify_.valid()) return false;
  Drain();
  auto it = kept_.find(key);
  if (it == kept_.end()) return false;
  *folder = it->second.folder;
  *id = it->second.id;
  *on_disk = it->second.on_disk;
  return true;
}

std::uint64_t OpenFolders::Begin() {
  if (!Usable()) return 0;
  std::lock_guard<AdaptiveMutex> lock(mutex_);
  if (notify_.valid()) Drain();
  return generation_;
}

void OpenFolders::Keep(std::uint64_t begun, const std::string& key, int root_fd,
                       const char* drive_folder, const std::vector<std::string>& on_disk,
                       const SharedFd& folder, const HostFileId& id) {
  if (!Usable()) return;
  std::lock_guard<AdaptiveMutex> lock(mutex_);
  if (!notify_.valid()) {
    // Made at the first folder kept: a process that keeps none holds no notification queue
    // (the host allows a user only so many).
    if (notify_unavailable_) return;
    notify_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    notify_unavailable_ = !notify_.valid();
    if (notify_unavailable_) return;
  }
  Drain();
  if (generation_ != begun) return;
  // Watch the machine folder and every folder on the way but the last (whose own renaming or
  // deletion its parent reports), opening them again one by one without following links; the
  // walk ends at the same folder, or the resolution no longer holds.
  if (!Watch(root_fd)) return;
  UniqueFd current(::openat(root_fd, drive_folder, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  for (const std::string& name : on_disk) {
    if (!current.valid() || !Watch(current.get())) return;
    current.reset(
        ::openat(current.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (!current.valid() || !IsFolder(current.get(), id)) return;
  // The watches were in place before the walk: a change before it ended is reported now.
  Drain();
  if (generation_ != begun) return;
  if (kept_.size() >= kMaxKept) kept_.clear();
  kept_[key] = Kept{folder, id, on_disk};
}

bool OpenFolders::Watch(int fd) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  if (watches_.size() >= kMaxWatches) return false;
  const int wd = ::inotify_add_watch(notify_.get(), path, kWatchMask);
  if (wd < 0) return false;
  watches_.insert(wd);
  return true;
}

void OpenFolders::Drain() {
  bool changed = false;
  DrainNotifications(notify_.get(), [&](const inotify_event& e) {
    if (e.mask & IN_IGNORED) watches_.erase(e.wd);
    if (ChangesPaths(e)) changed = true;
  });
  if (changed) {
    ++generation_;
    kept_.clear();
  }
}

}  // namespace w98::internal
