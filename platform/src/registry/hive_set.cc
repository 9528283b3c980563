#include "registry/hive_set.h"

#include <pthread.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "w98/winerror.h"

namespace w98::internal {
namespace {

// A change is committed this long after it was made (plus the commit's own time), which keeps
// what a killed process can lose, and what other processes wait for, under about 100 ms while
// commits are quick.
constexpr std::int64_t kWriteBehindNs = 40'000'000;
// Under a stream of writes that makes commits slow (thousands of values a second), the next
// commit waits this many times as long as the last one took, so that committing takes at most
// a seventh of the time: a commit costs about as much for a few hundred changed values as for
// thousands scattered over the same pages, and committing every 40 ms would rewrite the same
// pages over and over (a save of 10,000 files spent half as much on commits as with a spacing
// of 3). What other processes wait for grows with it then, to well under a second.
constexpr std::int64_t kCommitSpacing = 6;
// After a failed commit (disk full, a file that went away) the flusher waits this long.
constexpr std::int64_t kRetryNs = 1'000'000'000;

// The state is created on first use and never destroyed (threads may still use it while the
// process exits). A forked child starts over: it must not touch the parent's SQLite handles
// or locks, so it simply forgets them.
struct HiveSet {
  std::mutex mutex;  // guards hives and flusher_running; taken before any hive's locks
  std::vector<std::weak_ptr<Hive>> hives;
  bool flusher_running = false;
  // The flusher's wake-up; wake_mutex is a leaf lock, so writers may signal under any lock.
  std::mutex wake_mutex;
  std::condition_variable wake;
  bool woken = false;
  bool exiting = false;
};

HiveSet* g_set = nullptr;
std::atomic<int> g_generation{1};
std::mutex g_set_mutex;
bool g_exit_registered = false;

void ForgetAfterFork() {
  // Only this thread exists in the child: no lock is needed, and none may be taken (another
  // thread of the parent may have held it at the fork).
  new (&g_set_mutex) std::mutex();
  g_set = nullptr;
  ++g_generation;
}

void FlushAtExit();

HiveSet& Set() {
  std::lock_guard<std::mutex> lock(g_set_mutex);
  if (g_set == nullptr) {
    g_set = new HiveSet;
    if (!g_exit_registered) {
      g_exit_registered = true;
      ::pthread_atfork(nullptr, nullptr, ForgetAfterFork);
      std::atexit(FlushAtExit);
    }
  }
  return *g_set;
}

std::vector<std::shared_ptr<Hive>> Live(HiveSet& set) {
  std::vector<std::shared_ptr<Hive>> out;
  std::erase_if(set.hives, [&](const std::weak_ptr<Hive>& weak) {
    auto hive = weak.lock();
    if (!hive) return true;
    out.push_back(std::move(hive));
    return false;
  });
  return out;
}

void FlusherLoop(HiveSet* set) {
  std::int64_t retry_at = 0;
  std::int64_t spaced_until = 0;  // no commit before this time after a slow one
  for (;;) {
    const std::int64_t now = MonotonicNs();
    std::int64_t next_due = 0;
    std::vector<std::shared_ptr<Hive>> due;
    {
      std::lock_guard<std::mutex> lock(set->mutex);
      for (auto& hive : Live(*set)) {
        const std::int64_t since = hive->PendingSince();
        if (since == 0 || hive->Held()) continue;
        const std::int64_t at = std::max({since + kWriteBehindNs, retry_at, spaced_until});
        if (at <= now) {
          due.push_back(hive);
        } else if (next_due == 0 || at < next_due) {
          next_due = at;
        }
      }
    }
    if (!due.empty()) {
      bool failed = false;
      const std::int64_t started = MonotonicNs();
      for (auto& hive : due) failed |= hive->Commit() != ERROR_SUCCESS;
      const std::int64_t ended = MonotonicNs();
      retry_at = failed ? ended + kRetryNs : 0;
      spaced_until = ended + kCommitSpacing * (ended - started);
      continue;
    }
    std::unique_lock<std::mutex> lock(set->wake_mutex);
    if (set->exiting) return;
    if (!set->woken) {
      if (next_due == 0) {
        set->wake.wait(lock, [&] { return set->woken || set->exiting; });
      } else {
        set->wake.wait_for(lock, std::chrono::nanoseconds(next_due - now),
                           [&] { return set->woken || set->exiting; });
      }
    }
    set->woken = false;
  }
}

void FlushAtExit() {
  CommitAllHives();
  HiveSet& set = Set();
  std::lock_guard<std::mutex> lock(set.wake_mutex);
  set.exiting = true;
  set.wake.notify_all();
}

}  // namespace

std::shared_ptr<Hive> OpenHive(const std::filesystem::path& file) {
  HiveSet& set = Set();
  struct stat st {};
  const bool exists = ::stat(file.c_str(), &st) == 0;
  std::lock_guard<std::mutex> lock(set.mutex);
  for (auto& hive : Live(set)) {
    if (hive->File() == file || (exists && hive->Uses(st.st_dev, st.st_ino))) return hive;
  }
  auto hive = std::make_shared<Hive>(file);
  set.hives.push_back(hive);
  if (!set.flusher_running) {
    set.flusher_running = true;
    std::thread(FlusherLoop, &set).detach();
  }
  return hive;
}

std::vector<std::shared_ptr<Hive>> LiveHives() {
  HiveSet& set = Set();
  std::lock_guard<std::mutex> lock(set.mutex);
  return Live(set);
}

void WakeFlusher() {
  HiveSet& set = Set();
  std::lock_guard<std::mutex> lock(set.wake_mutex);
  set.woken = true;
  set.wake.notify_all();
}

int HiveSetGeneration() {
  return g_generation.load();
}

void CommitAllHives() {
  for (auto& hive : LiveHives()) hive->Commit();
}

}  // namespace w98::internal
