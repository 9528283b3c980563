#include "snapshot_engine.h"

#include <memory>

#include <w98/w98.h>

#include "consistency.h"
#include "delete_worker.h"
#include "fix_dates_worker.h"
#include "restore.h"
#include "save_worker.h"
#include "settings.h"

namespace snapshot {
namespace {

constexpr DWORD kPathBuffer = 260;

std::string ReadBootDirectory() {
  HKEY setup = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup", 0,
                    KEY_QUERY_VALUE, &setup) != ERROR_SUCCESS)
    return "c:\\";
  char buffer[kPathBuffer] = {};
  DWORD type = 0;
  DWORD size = sizeof buffer;
  const LONG rc =
      RegQueryValueExA(setup, "BootDir", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(setup);
  if (rc != ERROR_SUCCESS) return "c:\\";
  buffer[kPathBuffer - 1] = '\0';
  return buffer;
}

// Counts a worker as running from its creation to its very end, also when it is stopped.
class RunningWorker {
 public:
  explicit RunningWorker(SnapshotEngine& engine) : engine_(engine) {}
  ~RunningWorker() { engine_.WorkerEnded(); }
  RunningWorker(const RunningWorker&) = delete;
  RunningWorker& operator=(const RunningWorker&) = delete;

 private:
  SnapshotEngine& engine_;
};

template <typename Job>
struct WorkerStart {
  SnapshotEngine* engine;
  Job job;
};

DWORD WINAPI SaveThread(LPVOID parameter) {
  std::unique_ptr<WorkerStart<SaveJob>> start(static_cast<WorkerStart<SaveJob>*>(parameter));
  RunningWorker running(*start->engine);
  const DWORD code = RunSave(start->job);
  start->engine->EndWorker(WorkerKind::kSave, GetCurrentThreadId());
  return code;
}

DWORD WINAPI DeleteThread(LPVOID parameter) {
  std::unique_ptr<WorkerStart<DeleteJob>> start(static_cast<WorkerStart<DeleteJob>*>(parameter));
  RunningWorker running(*start->engine);
  const DWORD code = RunDelete(start->job);
  start->engine->EndWorker(WorkerKind::kDelete, GetCurrentThreadId());
  return code;
}

DWORD WINAPI FixDatesThread(LPVOID parameter) {
  std::unique_ptr<WorkerStart<FixDatesJob>> start(
      static_cast<WorkerStart<FixDatesJob>*>(parameter));
  RunningWorker running(*start->engine);
  const DWORD code = RunFixDates(start->job);
  start->engine->EndWorker(WorkerKind::kFixDates, GetCurrentThreadId());
  return code;
}

}  // namespace

SnapshotEngine::WorkerSlot& SnapshotEngine::Slot(WorkerKind kind) {
  switch (kind) {
    case WorkerKind::kSave:
      return save_;
    case WorkerKind::kDelete:
      return delete_;
    case WorkerKind::kFixDates:
      break;
  }
  return fix_dates_;
}

LONG SnapshotEngine::StartWorker(WorkerKind kind, LPTHREAD_START_ROUTINE routine, void* parameter,
                                 int priority) {
  std::lock_guard<std::mutex> lock(slots_mutex_);
  WorkerSlot& slot = Slot(kind);
  // A worker stopped with SetSSState(2) leaves its ended thread's handle in the slot.
  if (slot.thread != nullptr && WaitForSingleObject(slot.thread, 0) == WAIT_OBJECT_0)
    CloseHandle(slot.thread);
  DWORD id = 0;
  WorkerStarted();
  HANDLE thread = CreateThread(nullptr, 0, routine, parameter, CREATE_SUSPENDED, &id);
  if (thread == nullptr) {
    WorkerEnded();
    return SS_WORKER_NOT_CREATED;
  }
  slot.thread = thread;
  slot.id = id;
  SetThreadPriority(thread, priority);
  ResumeThread(thread);
  return SS_OK;
}

void SnapshotEngine::EndWorker(WorkerKind kind, DWORD thread_id) {
  HANDLE own = nullptr;
  {
    std::lock_guard<std::mutex> lock(slots_mutex_);
    WorkerSlot& slot = Slot(kind);
    if (slot.id == thread_id) {
      own = slot.thread;
      slot.thread = nullptr;
      slot.id = 0;
    }
  }
  if (own != nullptr) CloseHandle(own);
}

void SnapshotEngine::SetHelper(WorkerKind kind, HANDLE helper) {
  std::lock_guard<std::mutex> lock(slots_mutex_);
  Slot(kind).helper = helper;
}

LONG SnapshotEngine::Init(const char* store_directory) {
  store_dir_ = store_directory != nullptr ? store_directory : "";
  char windows[kPathBuffer] = {};
  const UINT n = GetWindowsDirectoryA(windows, kPathBuffer);
  windows_dir_ = (n > 0 && n < kPathBuffer) ? std::string(windows, n) : std::string();
  boot_dir_ = ReadBootDirectory();

  const Settings settings(store_dir_);
  if (settings.ReadInt(setting::kDoRestore, 0) != 0) {
    // The restored registry hives brought back the catalogue of the restored snapshot's time.
    RestoreCatalogueFromBackup(store_dir_);
    settings.Write(setting::kDoRestore, "0");
  }
  return CheckConsistency();
}

LONG SnapshotEngine::SaveSSImage(HWND window, const char* name, const char* comments, LONG mode) {
  save_name_ = name != nullptr ? name : "";
  save_comments_ = comments != nullptr ? comments : "";
  save_window_ = window;
  save_mode_ = mode;
  CopyThread::Control copy_control{[this](HANDLE copier) { SetHelper(WorkerKind::kSave, copier); },
                                   [this] { SetHelper(WorkerKind::kSave, nullptr); }};
  auto* start = new WorkerStart<SaveJob>{this,
                                         {windows_dir_, store_dir_, boot_dir_, save_name_,
                                          save_comments_, save_window_, save_mode_, copy_control}};
  const LONG status = StartWorker(WorkerKind::kSave, SaveThread, start, THREAD_PRIORITY_NORMAL);
  if (status != SS_OK) delete start;
  return status;
}

LONG SnapshotEngine::DeleteSSImg(HWND window, const char* name, LONG priority) {
  delete_name_ = name != nullptr ? name : "";
  delete_window_ = window;
  auto* start = new WorkerStart<DeleteJob>{this, {store_dir_, delete_name_, delete_window_}};
  const LONG status = StartWorker(WorkerKind::kDelete, DeleteThread, start, priority);
  if (status != SS_OK) delete start;
  return status;
}

LONG SnapshotEngine::FixSSImgDates(HWND window, LONG days, SSRenameRecord* pairs, LONG priority) {
  fix_window_ = window;
  fix_days_ = days;
  fix_pairs_ = pairs;
  auto* start =
      new WorkerStart<FixDatesJob>{this, {store_dir_, fix_window_, fix_days_, fix_pairs_}};
  const LONG status = StartWorker(WorkerKind::kFixDates, FixDatesThread, start, priority);
  if (status != SS_OK) delete start;
  return status;
}

LONG SnapshotEngine::RestoreSSImg(const char* name, LONG mode) {
  return RestoreImage({store_dir_, windows_dir_, boot_dir_}, name, mode);
}

LONG SnapshotEngine::RestoreSSFile(const char* name, const char* file, LONG close, LONG mode) {
  return RestoreFile({store_dir_, windows_dir_, boot_dir_}, name, file, close, mode);
}

LONG SnapshotEngine::SetSSState(LONG state) {
  if (state != SS_STATE_PAUSE && state != SS_STATE_CONTINUE && state != SS_STATE_STOP) return SS_OK;
  std::lock_guard<std::mutex> lock(slots_mutex_);
  bool acted = false;
  bool failed = false;
  const auto control = [state](HANDLE thread) {
    if (state == SS_STATE_PAUSE) return SuspendThread(thread) != 0xFFFFFFFF;
    if (state == SS_STATE_CONTINUE) return ResumeThread(thread) != 0xFFFFFFFF;
    return TerminateThread(thread, SS_WORKER_STOPPED) != FALSE;
  };
  for (WorkerSlot* slot : {&save_, &delete_, &fix_dates_}) {
    if (slot->thread == nullptr) continue;
    acted = true;
    // The helper first, so that a stopped worker never waits for a helper still at work; only
    // the worker's own answer counts (the last call made decides it).
    if (slot->helper != nullptr) control(slot->helper);
    failed = !control(slot->thread);
  }
  return acted && failed ? SS_THREAD_CONTROL_FAILED : SS_OK;
}

LONG SnapshotEngine::RollBack() {
  return CheckConsistency();
}

LONG SnapshotEngine::RollBackSave() {
  return snapshot::RollBackSave();
}

LONG SnapshotEngine::RollBackDelete() {
  return snapshot::RollBackDelete(store_dir_);
}

LONG SnapshotEngine::RollBackFixDates() {
  return snapshot::RollBackFixDates(store_dir_);
}

}  // namespace snapshot
