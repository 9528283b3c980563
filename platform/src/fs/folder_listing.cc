#include "fs/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <optional>
#include <unordered_set>

#include "core/adaptive_mutex.h"
#include "core/machine.h"
#include "core/path.h"
#include "core/text.h"
#include "fs/host_calls.h"
#include "fs/short_names.h"
#include "fs/unique_fd.h"
#include "registry/storage_hooks.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

// Without change notifications, a folder read is kept only when its last change is at least
// this much older than the moment the reading began: far more than the granularity of host
// timestamps, so any later change gives the folder a different change time.
constexpr std::int64_t kSettledNs = 100'000'000;
constexpr size_t kMaxFolders = 512;
// One mask serves both kinds of watch (a folder has one watch in the queue, whatever it is
// watched for): entries made, removed and moved, and the folder itself removed or moved.
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Folders watched for the paths through them stay watched until they go away or everything
// known is dropped; a process has few, the bound is against runaway growth.
constexpr size_t kMaxPathWatches = 4096;

// True for a change that may make a path through the watched folder lead elsewhere: a folder
// in it removed, moved or put there, the folder itself removed or moved, or changes lost.
bool ChangesPaths(const inotify_event& e) {
  if (e.mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) return true;
  return (e.mask & IN_ISDIR) && (e.mask & (IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO));
}

using FolderKey = HostFileId;
struct FolderKeyHash {
  size_t operator()(const FolderKey& k) const {
    return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(k.ino) * 1000003u ^
                                      static_cast<std::uint64_t>(k.dev));
  }
};

// The spellings of one name: the one shown (the first in byte order) and any others.
struct Spellings {
  std::string shown;
  std::vector<std::string> others;
};

// What is known of one folder: its shown names, and its listing once asked for.
struct FolderState {
  int watch = -1;              // inotify watch, or -1 when kept by change time
  std::int64_t change_ns = 0;  // the folder's change time when read (without a watch)
  std::uint64_t last_use = 0;
  std::unordered_map<std::string, Spellings, NoCaseHash, NoCaseEqual> names;
  std::shared_ptr<const FolderListing> listing;  // made on demand, dropped on every change

  void Add(const std::string& name) {
    if (!IsListableName(name)) return;
    auto [it, fresh] = names.try_emplace(name, Spellings{name, {}});
    if (!fresh) {
      Spellings& s = it->second;
      if (s.shown == name || std::find(s.others.begin(), s.others.end(), name) != s.others.end())
        return;
      if (name < s.shown)
        std::swap(s.shown, s.others.emplace_back(name));
      else
        s.others.push_back(name);
    }
    listing.reset();
  }
  void Remove(const std::string& name) {
    auto it = names.find(name);
    if (it == names.end()) return;
    Spellings& s = it->second;
    if (s.shown == name) {
      if (s.others.empty()) {
        names.erase(it);
      } else {
        auto first = std::min_element(s.others.begin(), s.others.end());
        s.shown = std::move(*first);
        s.others.erase(first);
      }
    } else {
      s.others.erase(std::remove(s.others.begin(), s.others.end(), name), s.others.end());
    }
    listing.reset();
  }
  const std::shared_ptr<const FolderListing>& Listing() {
    if (!listing) {
      std::vector<std::string> shown;
      shown.reserve(names.size());
      for (const auto& [key, s] : names) shown.push_back(s.shown);
      listing = std::make_shared<const FolderListing>(std::move(shown));
    }
    return listing;
  }
};

std::int64_t Nanoseconds(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

bool MayHaveNumericTail(std::string_view name) {
  return name.find('~') != std::string_view::npos;
}

DWORD ReadNames(int dir_fd, FolderState& state) {
  UniqueFd fd(::openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return Win32ErrorFromErrno(errno);
  DIR* dir = ::fdopendir(fd.get());
  if (dir == nullptr) return Win32ErrorFromErrno(errno);
  fd.release();
  errno = 0;
  while (dirent* e = ::readdir(dir)) state.Add(e->d_name);
  const int error = errno;
  ::closedir(dir);
  return error == 0 ? ERROR_SUCCESS : Win32ErrorFromErrno(error);
}

class FolderCache {
 public:
  // Runs `fn(FolderState&)` on what is known of the folder `dir_fd`, under the cache's lock.
  template <class Fn>
  DWORD With(int dir_fd, Fn&& fn) {
    std::lock_guard<AdaptiveMutex> lock(mutex_);
    Drain();
    timespec begun{};
    ::clock_gettime(CLOCK_REALTIME, &begun);
    struct stat st {};
    if (::fstat(dir_fd, &st) != 0) return Win32ErrorFromErrno(errno);
    if (!S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
    const FolderKey key = HostFileId::Of(st);
    const std::int64_t change_ns = Nanoseconds(st.st_ctim);
    auto it = folders_.find(key);
    if (it != folders_.end() && it->second->watch < 0 && it->second->change_ns != change_ns) {
      folders_.erase(it);
      it = folders_.end();
    }
    if (it == folders_.end()) {
      auto state = std::make_unique<FolderState>();
      state->watch = AddWatch(dir_fd);
      state->change_ns = change_ns;
      if (const DWORD error = ReadNames(dir_fd, *state); error != ERROR_SUCCESS) {
        RemoveWatch(state->watch);
        return error;
      }
      const bool keep = state->watch >= 0 || Nanoseconds(begun) - change_ns > kSettledNs;
      if (!keep) {
        fn(*state);  // good for this one question only
        return ERROR_SUCCESS;
      }
      if (folders_.size() >= kMaxFolders) EvictSome();
      if (state->watch >= 0) by_watch_[state->watch] = key;
      it = folders_.emplace(key, std::move(state)).first;
      Drain();  // changes made while the folder was read
      it = folders_.find(key);
      if (it == folders_.end()) return ERROR_PATH_NOT_FOUND;  // deleted meanwhile
    }
    it->second->last_use = ++clock_;
    fn(*it->second);
    return ERROR_SUCCESS;
  }

  // What is known of `name` in the folder `key` (see LookUpKnownName). An exact spelling
  // that the folder held at the last look is answered at once: the caller's lookup of it on
  // disk confirms it. Any other answer waits for the changes reported since, unless `fresh`
  // says that the caller has just had them applied.
  KnownName Look(const FolderKey& key, std::string_view name, std::string* real, bool fresh) {
    std::lock_guard<AdaptiveMutex> lock(mutex_);
    for (bool drained = fresh;; drained = true) {
      auto it = folders_.find(key);
      if (it == folders_.end() || it->second->watch < 0) return KnownName::kUnknown;
      FolderState& state = *it->second;
      state.last_use = ++clock_;
      auto found = state.names.find(name);
      if (found != state.names.end()) {
        const Spellings& s = found->second;
        if (s.shown == name ||
            std::find(s.others.begin(), s.others.end(), name) != s.others.end()) {
          real->assign(name);
          return KnownName::kPresent;
        }
        if (drained) {
          *real = s.shown;
          return KnownName::kPresent;
        }
      } else if (drained) {
        return MayHaveNumericTail(name) ? KnownName::kUnknown : KnownName::kAbsent;
      }
      Drain();
    }
  }

  // Watches the folder open as `fd` for changes of the paths through it (see WatchPathFolder).
  bool WatchPath(int fd) {
    std::lock_guard<AdaptiveMutex> lock(mutex_);
    if (!use_notifications_ || NotifyFd() < 0 || path_watches_.size() >= kMaxPathWatches)
      return false;
    const int wd = InotifyWatch(fd);
    if (wd < 0) return false;
    path_watches_.insert(wd);
    return true;
  }

  // Applies the changes reported so far; the count of path changes seen (see PathChanges).
  std::uint64_t PathChangesNow() {
    std::lock_guard<AdaptiveMutex> lock(mutex_);
    Drain();
    return path_changes_;
  }

  void Clear(std::optional<bool> use_notifications = std::nullopt) {
    std::lock_guard<AdaptiveMutex> lock(mutex_);
    if (use_notifications) use_notifications_ = *use_notifications;
    ForgetEverything();  // leaves the folders that paths lead through watched: ended below
    for (const int wd : path_watches_) ::inotify_rm_watch(notify_fd_, wd);
    path_watches_.clear();
  }

  // In a child process right after fork: the notification queue belongs to the parent.
  void AbandonAfterFork() { ::close(notify_fd_); }

 private:
  int NotifyFd() {
    if (notify_fd_ == -2) {
      notify_fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      if (notify_fd_ < 0) notify_fd_ = -1;
    }
    return notify_fd_;
  }

  // The watch of the folder open as `fd` (the folder's one watch in the queue), or -1.
  int InotifyWatch(int fd) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    return ::inotify_add_watch(notify_fd_, path, kWatchMask);
  }

  int AddWatch(int dir_fd) {
    if (!use_notifications_ || NotifyFd() < 0) return -1;
    const int wd = InotifyWatch(dir_fd);
    return wd >= 0 && by_watch_.count(wd) == 0 ? wd : -1;
  }

  // Ends a folder's watch for its names; it stays while the paths through it are watched.
  void RemoveWatch(int wd) {
    if (wd >= 0 && path_watches_.count(wd) == 0) ::inotify_rm_watch(notify_fd_, wd);
  }

  // Forgets every folder listing (ending their watches) and tells path resolution that any
  // path may have changed.
  void ForgetEverything() {
    for (auto& [key, state] : folders_) RemoveWatch(state->watch);
    folders_.clear();
    by_watch_.clear();
    ++path_changes_;
  }

  void DropFolder(int wd) {
    auto w = by_watch_.find(wd);
    if (w == by_watch_.end()) return;
    folders_.erase(w->second);
    by_watch_.erase(w);
  }

  // Applies every change reported since the last call.
  void Drain() {
    if (notify_fd_ < 0) return;
    DrainNotifications(notify_fd_, [this](const inotify_event& e) {
      if (e.mask & IN_Q_OVERFLOW) {
        ForgetEverything();  // changes were lost: start afresh
        return;
      }
      if (path_watches_.count(e.wd) != 0 && ChangesPaths(e)) {
        ++path_changes_;
        if (e.mask & IN_IGNORED) path_watches_.erase(e.wd);  // the watch is gone
      }
      if (e.mask & (IN_DELETE_SELF | IN_IGNORED)) {
        RemoveWatch(e.wd);
        DropFolder(e.wd);
        return;
      }
      auto w = by_watch_.find(e.wd);
      if (w == by_watch_.end() || e.len == 0) return;
      FolderState& state = *folders_.at(w->second);
      if (e.mask & (IN_CREATE | IN_MOVED_TO))
        state.Add(e.name);
      else if (e.mask & (IN_DELETE | IN_MOVED_FROM))
        state.Remove(e.name);
    });
  }

  // Forgets the least recently used eighth of the folders.
  void EvictSome() {
    std::vector<std::pair<std::uint64_t, FolderKey>> uses;
    for (const auto& [key, state] : folders_) uses.emplace_back(state->last_use, key);
    const size_t drop = std::max<size_t>(1, uses.size() / 8);
    std::nth_element(uses.begin(), uses.begin() + static_cast<long>(drop - 1), uses.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < drop; ++i) {
      auto it = folders_.find(uses[i].second);
      if (it->second->watch >= 0) {
        RemoveWatch(it->second->watch);
        by_watch_.erase(it->second->watch);
      }
      folders_.erase(it);
    }
  }

  AdaptiveMutex mutex_;
  int notify_fd_ = -2;  // -2: not opened yet; -1: not available
  bool use_notifications_ = true;
  std::unordered_map<FolderKey, std::unique_ptr<FolderState>, FolderKeyHash> folders_;
  std::unordered_map<int, FolderKey> by_watch_;
  std::unordered_set<int> path_watches_;  // watches of folders that paths lead through
  std::uint64_t path_changes_ = 0;
  std::uint64_t clock_ = 0;
};

FolderCache* g_cache = nullptr;
FolderCache* g_abandoned_cache = nullptr;  // the parent's, in a forked child: its lock may be held
std::once_flag g_cache_once;

FolderCache& Cache() {
  std::call_once(g_cache_once, [] {
    g_cache = new FolderCache;  // outlives every static destructor
    RegisterMachineResetHook([] { ForgetFolderListings(); });
    // A child of fork() must not share the parent's notification queue (each would take
    // events meant for the other), nor a lock another thread may have held at the fork.
    ::pthread_atfork(nullptr, nullptr, [] {
      g_cache->AbandonAfterFork();
      g_abandoned_cache = g_cache;
      g_cache = new FolderCache;
    });
  });
  return *g_cache;
}

}  // namespace

bool IsListableName(std::string_view name) {
  return name.size() <= 255 && IsValidLongName(name) && name.back() != '.' && name.back() != ' ' &&
         !IsRegistryHelperFile(name);
}

FolderListing::FolderListing(std::vector<std::string> names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int c = CompareNoCase(a, b);
    return c != 0 ? c < 0 : a < b;
  });
  std::vector<std::string> kept;
  kept.reserve(names.size());
  by_name_.reserve(names.size());
  for (std::string& name : names) {
    if (!IsListableName(name)) continue;
    // Windows cannot hold two names that differ only in case; the first one is shown.
    if (!by_name_.try_emplace(UpperCase(name), static_cast<std::uint32_t>(kept.size())).second)
      continue;
    kept.push_back(std::move(name));
  }
  std::vector<std::string> aliases = AssignShortNames(kept);
  entries_.reserve(kept.size());
  for (size_t i = 0; i < kept.size(); ++i) {
    entries_.push_back(FolderEntry{std::move(kept[i]), std::move(aliases[i])});
    if (!entries_[i].alias.empty())
      by_alias_.emplace(entries_[i].alias, static_cast<std::uint32_t>(i));
  }
}

const FolderEntry* FolderListing::Find(std::string_view name) const {
  const std::string key = UpperCase(name);
  if (auto it = by_name_.find(key); it != by_name_.end()) return &entries_[it->second];
  if (auto it = by_alias_.find(key); it != by_alias_.end()) return &entries_[it->second];
  return nullptr;
}

std::shared_ptr<const FolderListing> ListFolder(int dir_fd, DWORD* error) {
  std::shared_ptr<const FolderListing> listing;
  const DWORD result = Cache().With(dir_fd, [&](FolderState& state) { listing = state.Listing(); });
  if (result != ERROR_SUCCESS && error) *error = result;
  return listing;
}

DWORD FindInFolder(int dir_fd, std::string_view name, FolderEntry& entry, bool with_alias) {
  bool found = false;
  const DWORD result = Cache().With(dir_fd, [&](FolderState& state) {
    auto it = state.names.find(name);
    if (it != state.names.end()) {
      entry.name = it->second.shown;
      entry.alias.clear();
      if (!with_alias) {
        found = true;
        return;
      }
      // A name that fits 8.3 has the same alias whatever else the folder holds.
      std::string plain = LosslessShortName(entry.name);
      if (!plain.empty()) {
        entry.alias = plain == entry.name ? std::string() : std::move(plain);
        found = true;
        return;
      }
    } else if (!MayHaveNumericTail(name)) {
      return;
    }
    if (const FolderEntry* e = state.Listing()->Find(name)) {
      entry = *e;
      found = true;
    }
  });
  if (result != ERROR_SUCCESS) return result;
  return found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

KnownName LookUpKnownName(int dir_fd, std::string_view name, std::string* real) {
  if (!IsListableName(name)) return KnownName::kUnknown;
  struct stat st {};
  if (::fstat(dir_fd, &st) != 0 || !S_ISDIR(st.st_mode)) return KnownName::kUnknown;
  return Cache().Look(HostFileId::Of(st), name, real, false);
}

KnownName LookUpKnownName(const HostFileId& folder, std::string_view name, std::string* real,
                          bool fresh) {
  if (!IsListableName(name)) return KnownName::kUnknown;
  return Cache().Look(folder, name, real, fresh);
}

bool WatchPathFolder(int fd) {
  return Cache().WatchPath(fd);
}

std::uint64_t PathChanges() {
  return Cache().PathChangesNow();
}

void ForgetFolderListings() {
  Cache().Clear();
}

void UseChangeNotifications(bool use) {
  Cache().Clear(use);
}

}  // namespace w98::internal
