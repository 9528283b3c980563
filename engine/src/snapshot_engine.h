// The one engine object behind the library's exports.
#ifndef SNAPSHOT_SRC_SNAPSHOT_ENGINE_H
#define SNAPSHOT_SRC_SNAPSHOT_ENGINE_H

#include <atomic>
#include <mutex>
#include <string>

#include <w98/windows.h>

#include "snapshot/snapshot.h"

namespace snapshot {

enum class WorkerKind { kSave, kDelete, kFixDates };

// Created when the library is loaded, destroyed when it is unloaded; every export forwards to
// it. The exports are called from the caller's one thread; workers call only EndWorker.
class SnapshotEngine {
 public:
  SnapshotEngine() = default;
  SnapshotEngine(const SnapshotEngine&) = delete;
  SnapshotEngine& operator=(const SnapshotEngine&) = delete;

  LONG Init(const char* store_directory);
  LONG SaveSSImage(HWND window, const char* name, const char* comments, LONG mode);
  LONG DeleteSSImg(HWND window, const char* name, LONG priority);
  LONG FixSSImgDates(HWND window, LONG days, SSRenameRecord* pairs, LONG priority);
  LONG RestoreSSImg(const char* name, LONG mode);
  LONG RestoreSSFile(const char* name, const char* file, LONG close, LONG mode);
  LONG SetSSState(LONG state);
  LONG RollBack();
  LONG RollBackSave();
  LONG RollBackDelete();
  LONG RollBackFixDates();

  // A worker's last act: closes its own thread handle and clears its slot, unless the slot has
  // been given to a newer worker meanwhile. Safe from any thread.
  void EndWorker(WorkerKind kind, DWORD thread_id);

  // Workers started and not yet ended; the library is not torn down while one runs.
  int RunningWorkers() const { return running_workers_.load(); }
  void WorkerStarted() { ++running_workers_; }
  void WorkerEnded() { --running_workers_; }

 private:
  struct WorkerSlot {
    HANDLE thread = nullptr;
    DWORD id = 0;
    HANDLE helper = nullptr;  // a thread working for the worker, controlled with it
  };

  // Sets (or, with nullptr, clears) the helper thread of a worker's slot.
  void SetHelper(WorkerKind kind, HANDLE helper);

  WorkerSlot& Slot(WorkerKind kind);
  // Creates `routine` suspended with `parameter`, fills the slot, sets the priority and resumes
  // it. Returns 0, or 1000 when the thread cannot be created (the parameter is then not used).
  LONG StartWorker(WorkerKind kind, LPTHREAD_START_ROUTINE routine, void* parameter, int priority);

  std::mutex slots_mutex_;  // guards the three slots
  WorkerSlot save_;
  WorkerSlot delete_;
  WorkerSlot fix_dates_;

  std::string windows_dir_;
  std::string store_dir_;
  std::string boot_dir_;

  // The arguments of the last SaveSSImage, DeleteSSImg and FixSSImgDates.
  std::string save_name_;
  std::string save_comments_;
  HWND save_window_ = nullptr;
  LONG save_mode_ = 0;
  std::string delete_name_;
  HWND delete_window_ = nullptr;
  HWND fix_window_ = nullptr;
  LONG fix_days_ = 0;
  SSRenameRecord* fix_pairs_ = nullptr;

  std::atomic<int> running_workers_{0};
};

// The engine of this library (never null between load and unload).
SnapshotEngine& Engine();

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_SNAPSHOT_ENGINE_H
