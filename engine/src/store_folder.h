// Work folders of the store that hold only files (newbatch, oldbatch).
#ifndef SNAPSHOT_SRC_STORE_FOLDER_H
#define SNAPSHOT_SRC_STORE_FOLDER_H

#include <string>

namespace snapshot {

// True when a file or folder of that path exists.
bool PathExists(const std::string& path);

// Deletes every file that folder + "\*.*" finds (attributes cleared first), then removes the
// folder itself (its attributes cleared too). Failures are ignored; a missing folder is left
// alone. Safe on a worker: the find handle is closed also when the thread is stopped.
void RemoveFileFolder(const std::string& folder);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_STORE_FOLDER_H
