// The delete worker: takes one snapshot out of the store.
#ifndef SNAPSHOT_SRC_DELETE_WORKER_H
#define SNAPSHOT_SRC_DELETE_WORKER_H

#include <string>

#include <w98/windows.h>

namespace snapshot {

struct DeleteJob {
  std::string store_dir;  // with a trailing backslash
  std::string name;
  HWND window = nullptr;
};

// Runs one delete on the calling worker thread while holding "DeleteMutex" and the catalogue
// lock: exports the master profile and the reference table (each followed by one line feed),
// marks the catalogue as being in a delete, removes the three batch files, releases the
// snapshot's references (removing stored copies that lose their last one), takes it out of the
// snapshot list, clears the marks, deletes its control key, updates "latestss" from the last
// snapshot left, and sends 200 (or 201 on failure) to the job's window. Returns that code.
DWORD RunDelete(const DeleteJob& job);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_DELETE_WORKER_H
