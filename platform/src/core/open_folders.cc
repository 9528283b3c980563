#include "core/open_folders.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>

#include <atomic>

#include "fs/folder_listing.h"

namespace w98::internal {
namespace {

// Kept folders are bounded; past the bound they are forgotten. Each kept folder holds a
// descriptor, and a process may have as few as 1,024: the bound leaves nearly all of them to
// the program. File calls mostly work in one folder after another, so a few dozen folders
// serve them.
constexpr size_t kMaxKept = 64;

// Counts the forks of this process, as seen in each child: an object made before a fork must
// not be used in the child, which may hold its lock as another thread left it.
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

void OpenFolders::CatchUp(std::uint64_t changes) {
  if (changes == seen_changes_) return;
  kept_.clear();
  seen_changes_ = changes;
}

bool OpenFolders::Find(const std::string& key, SharedFd* folder, HostFileId* id,
                       std::vector<std::string>* on_disk) {
  if (!Usable()) return false;
  std::lock_guard<AdaptiveMutex> lock(mutex_);
  CatchUp(PathChanges());
  auto it = kept_.find(key);
  if (it == kept_.end()) return false;
  *folder = it->second.folder;
  *id = it->second.id;
  *on_disk = it->second.on_disk;
  return true;
}

std::uint64_t OpenFolders::Begin() {
  return Usable() ? PathChanges() : 0;
}

void OpenFolders::Keep(std::uint64_t begun, const std::string& key, int root_fd,
                       const char* drive_folder, const std::vector<std::string>& on_disk,
                       const SharedFd& folder, const HostFileId& id) {
  if (!Usable()) return;
  std::lock_guard<AdaptiveMutex> lock(mutex_);
  if (PathChanges() != begun) return;
  // Watch the machine folder and every folder on the way but the last (whose own renaming or
  // deletion its parent reports), opening them again one by one without following links; the
  // walk ends at the same folder, or the resolution no longer holds.
  if (!WatchPathFolder(root_fd)) return;
  UniqueFd current(::openat(root_fd, drive_folder, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  for (const std::string& name : on_disk) {
    if (!current.valid() || !WatchPathFolder(current.get())) return;
    current.reset(
        ::openat(current.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (!current.valid() || !IsFolder(current.get(), id)) return;
  // The watches were in place before the walk: a change before it ended is reported now.
  if (PathChanges() != begun) return;
  CatchUp(begun);
  if (kept_.size() >= kMaxKept) kept_.clear();
  kept_[key] = Kept{folder, id, on_disk};
}

}  // namespace w98::internal
