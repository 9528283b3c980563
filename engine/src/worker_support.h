// What every worker of the engine needs: holding named mutexes for its run, and sending its
// completion code to the caller's window.
#ifndef SNAPSHOT_SRC_WORKER_SUPPORT_H
#define SNAPSHOT_SRC_WORKER_SUPPORT_H

#include <w98/windows.h>

namespace snapshot {

// The mutexes of the three worker kinds, and the machine-wide catalogue lock that every worker
// changing the catalogue also holds for its run, taken after its own: two such workers (also of
// different kinds, also in different processes) never change the catalogue at the same time.
inline constexpr char kSaveMutex[] = "SaveMutex";
inline constexpr char kDeleteMutex[] = "DeleteMutex";
inline constexpr char kFixDateMutex[] = "FixDateMutex";
inline constexpr char kCatalogueMutex[] = "SnapshotCatalogueMutex";

// Creates (or opens) a named mutex, not owned, and waits for it without time limit; a mutex
// abandoned by a stopped worker is taken over. Released and closed when the object goes away,
// also when the thread is being terminated (releasing never stops a thread).
class NamedMutexHold {
 public:
  explicit NamedMutexHold(const char* name);
  ~NamedMutexHold();
  NamedMutexHold(const NamedMutexHold&) = delete;
  NamedMutexHold& operator=(const NamedMutexHold&) = delete;

  // False when the mutex could not be created or waited for; the run goes on unprotected, as
  // a worker whose lock fails has nothing better to do.
  bool held() const { return owned_; }
  // Releases early (before the object goes away).
  void Release();

 private:
  HANDLE handle_ = nullptr;
  bool owned_ = false;
};

// Sends WM_COPYDATA to `window` with a zero-filled copy-data record, allocated movable
// (GlobalAlloc 0x42) and locked, whose dwData is `code`; waits until the window has handled it,
// then unlocks and frees the record.
void SendCompletion(HWND window, DWORD code);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_WORKER_SUPPORT_H
