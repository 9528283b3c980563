// The library's seventeen exports, each forwarding to the one engine object, and the load and
// unload hooks that create and destroy it. No exception ever leaves an export: a failure that
// escapes the engine crosses as the export's failure status.
#include <chrono>
#include <exception>
#include <string_view>
#include <thread>

#include <w98/w98.h>

#include "queries.h"
#include "snapshot/snapshot.h"
#include "snapshot_engine.h"

namespace snapshot {
namespace {

SnapshotEngine* g_engine = nullptr;

__attribute__((constructor)) void LoadLibraryHook() {
  g_engine = new SnapshotEngine();
}

__attribute__((destructor)) void UnloadLibraryHook() {
  if (g_engine == nullptr) return;
  // A worker that has sent its completion message is ending: give it time to leave the
  // library before the engine and the platform below it go away.
  for (int i = 0; i < 2000 && g_engine->RunningWorkers() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // A worker still in the middle of its run keeps the engine; it is left to the process
  // rather than pulled from under it.
  if (g_engine->RunningWorkers() == 0) delete g_engine;
  g_engine = nullptr;
}

std::string_view Text(const char* text) {
  return text != nullptr ? text : "";
}

// Runs `body` and turns an escaping failure into `failure`. A thread's termination is never
// swallowed.
template <typename Body>
LONG Guard(LONG failure, Body body) {
  if (g_engine == nullptr) return failure;
  try {
    return body();
  } catch (const w98::ThreadTermination&) {
    throw;
  } catch (...) {
    return failure;
  }
}

}  // namespace

SnapshotEngine& Engine() {
  return *g_engine;
}

}  // namespace snapshot

using snapshot::Engine;
using snapshot::Guard;
using snapshot::Text;

SNAPSHOT_API LONG WINAPI Init(LPCSTR storeDirectory) {
  return Guard(SS_CATALOGUE_DAMAGED, [&] { return Engine().Init(storeDirectory); });
}

SNAPSHOT_API LONG WINAPI SaveSSImage(HWND window, LPCSTR name, LPCSTR comments, LONG mode) {
  return Guard(SS_WORKER_NOT_CREATED,
               [&] { return Engine().SaveSSImage(window, name, comments, mode); });
}

SNAPSHOT_API LONG WINAPI RestoreSSImg(LPCSTR name, LONG mode) {
  return Guard(SS_RESTORE_BOOT_BATCH, [&] { return Engine().RestoreSSImg(name, mode); });
}

SNAPSHOT_API LONG WINAPI RestoreSSFile(LPCSTR name, LPCSTR file, LONG close, LONG mode) {
  return Guard(SS_RESTORE_BOOT_BATCH,
               [&] { return Engine().RestoreSSFile(name, file, close, mode); });
}

SNAPSHOT_API LONG WINAPI DeleteSSImg(HWND window, LPCSTR name, LONG priority) {
  return Guard(SS_WORKER_NOT_CREATED, [&] { return Engine().DeleteSSImg(window, name, priority); });
}

SNAPSHOT_API LONG WINAPI RollBack(void) {
  return Guard(SS_CATALOGUE_DAMAGED, [&] { return Engine().RollBack(); });
}

SNAPSHOT_API LONG WINAPI RollBackFixDates(void) {
  return Guard(SS_ROLLBACK_IMPORT, [&] { return Engine().RollBackFixDates(); });
}

SNAPSHOT_API LONG WINAPI RollBackDelete(void) {
  return Guard(SS_OK, [&] { return Engine().RollBackDelete(); });
}

SNAPSHOT_API LONG WINAPI RollBackSave(void) {
  return Guard(SS_OK, [&] { return Engine().RollBackSave(); });
}

SNAPSHOT_API LONG WINAPI FixSSImgDates(HWND window, LONG days, SSRenameRecord* pairs,
                                       LONG priority) {
  return Guard(SS_WORKER_NOT_CREATED,
               [&] { return Engine().FixSSImgDates(window, days, pairs, priority); });
}

SNAPSHOT_API LONG WINAPI GetSSImgCount(void) {
  return Guard(0, [&] { return snapshot::QuerySnapshotCount(); });
}

SNAPSHOT_API LONG WINAPI ListSSImg(LPCSTR name, SSImgRecord* buffer) {
  return Guard(0, [&] { return snapshot::QuerySnapshots(Text(name), buffer); });
}

SNAPSHOT_API LONG WINAPI GetSSImgInfoCount(LPCSTR name) {
  return Guard(0, [&] { return snapshot::QuerySnapshotFileCount(Text(name)); });
}

SNAPSHOT_API LONG WINAPI GetSSImgInfo(SSFileRecord* buffer, LPCSTR name) {
  return Guard(0, [&] { return snapshot::QuerySnapshotFiles(buffer, Text(name)); });
}

SNAPSHOT_API LONG WINAPI GetSSFilesCount(void) {
  return Guard(0, [&] { return snapshot::QueryStoredVersionCount(); });
}

SNAPSHOT_API LONG WINAPI ListSSFiles(LPCSTR filter, SSFileRecord* buffer) {
  return Guard(0, [&] { return snapshot::QueryStoredVersions(Text(filter), buffer); });
}

SNAPSHOT_API LONG WINAPI SetSSState(LONG state) {
  return Guard(SS_THREAD_CONTROL_FAILED, [&] { return Engine().SetSSState(state); });
}
