// The save worker: takes a snapshot of the files that the catalogue's backup patterns name.
#ifndef SNAPSHOT_SRC_SAVE_WORKER_H
#define SNAPSHOT_SRC_SAVE_WORKER_H

#include <string>

#include <w98/windows.h>

#include "copy_thread.h"

namespace snapshot {

// The inputs of one save, copied from the engine when the save is started.
struct SaveJob {
  std::string windows_dir;  // without a trailing backslash
  std::string store_dir;    // with a trailing backslash
  std::string boot_dir;     // with a trailing backslash
  std::string name;
  std::string comments;
  HWND window = nullptr;
  LONG mode = 0;  // -2: yield the time slice before every file
  // Hands the save's copier thread to the engine, which then suspends, resumes and stops it
  // with the save thread.
  CopyThread::Control copy_control;
};

// Runs one save on the calling worker thread while holding "SaveMutex" and the catalogue lock:
// marks the catalogue (write-ahead), records every file in the new control key, stores each
// version the store does not hold yet and shares the others, writes the three batch files and
// backup.log, marks the catalogue valid again, and sends the completion code (100, or 101, 102,
// 103 on failure) to the job's window before releasing the mutexes. Returns that code. A failure
// leaves what was written, with the catalogue marked as in a save. May be stopped at any w98
// call by the thread's termination, which it never catches.
DWORD RunSave(const SaveJob& job);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_SAVE_WORKER_H
