// A hive as this process sees it: the key tree in memory, kept in step with its file.
//
// Writes change the tree at once (every thread sees them) and are written behind to the file
// in batches: by the process's flusher at the latest about 100 ms after a write, at Commit()
// (RegFlushKey, before a program is started, at exit). Reads come from the tree; Sync() checks,
// at most every few milliseconds, whether other processes committed, and applies what they
// changed.
//
// How two processes merge: a commit writes this process's changes as of that moment on top of
// the file; for each value (and each deleted value or key tree) the last commit wins, and
// values that a commit did not touch are never lost. Changes of other processes never
// overwrite this process's changes that are not yet committed.
//
// Locking: Mutex() guards the tree and must be held around every tree call below; Sync(),
// Commit(), Detach() and Backup() take the file lock first and must be called WITHOUT Mutex().
#ifndef W98_SRC_REGISTRY_HIVE_H
#define W98_SRC_REGISTRY_HIVE_H

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "registry/hive_file.h"
#include "registry/key_tree.h"

namespace w98::internal {

class Hive {
 public:
  explicit Hive(std::filesystem::path file);
  // Commits what is still pending (nothing written is dropped silently).
  ~Hive();
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  // The host file of the hive. Never waits for a commit, as Uses() does not.
  std::filesystem::path File() const;

  // Opens and loads the file the first time. Afterwards, at most every few milliseconds (always
  // when `force`), notices a replaced file and applies other processes' commits; when another
  // thread is committing, the check is left to that commit. ERROR_SUCCESS or a registry error.
  LONG Sync(bool force = false);

  // Writes every change of this process to the file, durably. ERROR_SUCCESS or a registry
  // error; on failure the changes stay pending and are tried again.
  LONG Commit();

  // Commits, then lets go of the file: the next Sync() opens it again and reloads it.
  void Detach();

  // A tree of its own (a new root) that holds the key at `parts` (names in any case) with
  // everything below it, and the keys above it without their values, as this process sees the
  // hive now. A hive that this process has not loaded yet (and so has not changed) stays
  // unloaded: the part is read straight from the file as of one moment, which costs only the
  // part, however big the hive. When the key does not exist the tree lacks it. ERROR_SUCCESS or
  // a registry error. Call WITHOUT Mutex().
  LONG ReadSubtree(const std::vector<std::string_view>& parts, std::shared_ptr<RegKey>* root);

  // Commits, then writes a complete copy of the file as of one moment to the new file `target`.
  LONG Backup(const std::filesystem::path& target);

  // True when the file this hive uses is the host file (dev, ino).
  bool Uses(dev_t dev, ino_t ino);

  // A counter shared by every process of the machine (in its run folder) that each commit to
  // this hive's file bumps: a process then looks at the file at its next call instead of
  // within a few milliseconds. Set once, before the hive is used; the counter outlives it.
  void SetChangeCounter(std::atomic<std::uint64_t>* counter);

  // While held (counted), the flusher leaves the hive alone, so that a batch of writes
  // (an import) reaches the file in one commit.
  void Hold(bool hold);
  bool Held() const { return holds_.load() > 0; }
  // Host monotonic time (ns) of the oldest uncommitted change, or 0 when there is none.
  std::int64_t PendingSince() const { return pending_since_.load(); }

  // ---- the tree; hold Mutex() ----
  std::mutex& Mutex() { return mutex_; }
  RegKey& Root() { return *root_; }
  // The key below `from` at the given names (each any case), or nullptr.
  std::shared_ptr<RegKey> Find(RegKey& from, const std::vector<std::string_view>& parts);
  // Like Find, creating the missing keys; *created tells whether the last one is new.
  std::shared_ptr<RegKey> Create(RegKey& from, const std::vector<std::string_view>& parts,
                                 bool* created);
  void SetValue(RegKey& key, std::string_view name, DWORD type, std::string_view data);
  // False when the key has no such value.
  bool DeleteValue(RegKey& key, std::string_view name);
  // Deletes the key with everything below it; for the root, everything in the hive.
  void DeleteTree(RegKey& key);

 private:
  struct Batch;

  LONG OpenFileLocked();
  void PublishIdentity();
  LONG SyncLocked();
  LONG CatchUp();
  bool FileReplaced();
  void LetGoOfFile();
  void AnnounceCommit();
  std::int64_t NextSeq() { return static_cast<std::int64_t>(++seq_); }
  void Touch(RegKey& key);
  void NotePending();
  bool UnderPendingTree(std::string_view path) const;
  RegKey* FindFolded(std::string_view path);
  RegKey* EnsureFolded(std::string_view path, std::string_view leaf_name);
  bool Reconcile(RegKey& local, const RegKey* fresh);
  void ApplyTomb(const TombRow& row);
  void ApplyKey(const KeyRow& row);
  void ApplyValue(const ValueRow& row);
  Batch TakeBatch();
  LONG WriteBatch(const Batch& batch, std::int64_t gen);
  // Writes `batch` to the file as the next commit (file lock held); on failure nothing of it is
  // there.
  LONG WriteOut(const Batch& batch);
  void ClearCommitted(std::uint64_t seq);

  // File side: guarded by file_mutex_ (taken before mutex_).
  std::mutex file_mutex_;
  std::filesystem::path file_path_;
  std::unique_ptr<HiveFile> file_;
  HiveHead seen_;
  std::int64_t data_version_ = -1;
  bool need_full_ = true;
  std::atomic<bool> loaded_{false};
  std::atomic<std::int64_t> last_check_ns_{0};
  std::atomic<int> holds_{0};
  std::atomic<std::int64_t> pending_since_{0};
  std::atomic<std::atomic<std::uint64_t>*> change_counter_{nullptr};
  std::atomic<std::uint64_t> seen_changes_{0};

  // What File() and Uses() answer, apart from the file lock, which a commit holds while it
  // writes and syncs: every CopyFileA asks whether its source is a live hive, and must not wait
  // for that. Guarded by identity_mutex_; changed only under file_mutex_ (PublishIdentity()).
  mutable std::mutex identity_mutex_;
  std::filesystem::path identity_path_;
  bool identity_open_ = false;
  dev_t identity_dev_ = 0;
  ino_t identity_ino_ = 0;

  // Tree side: guarded by mutex_.
  mutable std::mutex mutex_;
  std::shared_ptr<RegKey> root_;
  std::uint64_t seq_ = 0;
  std::vector<std::shared_ptr<RegKey>> pending_keys_;
  std::vector<std::pair<std::string, std::uint64_t>> pending_trees_;
};

// Host monotonic clock in nanoseconds.
std::int64_t MonotonicNs();
// The same clock as of the last timer tick (a few milliseconds coarse), much cheaper to read.
std::int64_t CoarseMonotonicNs();

}  // namespace w98::internal

#endif  // W98_SRC_REGISTRY_HIVE_H
