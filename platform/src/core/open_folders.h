// Open folders of resolved paths, reused while nothing on their way has changed.
//
// Resolving a path opens the folder that holds its last component, a walk of the host's path
// through every folder above it. A file call's folder is almost always one resolved a moment
// before, so the open folder is kept and handed out again (the descriptor shared, never
// duplicated) for as long as it is certain that the same path still leads to it: every folder on
// the way, from the machine folder down, is watched through the host's change notifications
// (inotify, in the one queue that also keeps folder listings current; see
// fs/folder_listing.h), which report a change by any process before the changing call returns,
// and any folder renamed, moved, replaced or deleted below a watched folder forgets every kept
// folder. Files made and removed change nothing kept. Where change notifications are not
// available nothing is kept, and every resolution walks the path.
#ifndef W98_SRC_CORE_OPEN_FOLDERS_H
#define W98_SRC_CORE_OPEN_FOLDERS_H

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/adaptive_mutex.h"
#include "fs/host_calls.h"
#include "fs/unique_fd.h"

namespace w98::internal {

class OpenFolders {
 public:
  OpenFolders();
  ~OpenFolders();
  OpenFolders(const OpenFolders&) = delete;
  OpenFolders& operator=(const OpenFolders&) = delete;

  // The folder kept for `key`: its O_PATH descriptor in `folder`, its identity in `id` and the
  // on-disk names of the folders on its way (below the drive folder) in `on_disk`. False when
  // none is kept, or when a folder on the way has changed since it was kept. Applies every
  // change reported so far first (PathChanges), also to what is known of folder listings.
  bool Find(const std::string& key, SharedFd* folder, HostFileId* id,
            std::vector<std::string>* on_disk);

  // The moment a resolution begins, to be given to Keep: a folder is kept only when nothing
  // changed between the two.
  std::uint64_t Begin();

  // Keeps `folder`, of identity `id`, which a resolution that began at `begun` found at
  // `drive_folder` (the drive's folder name in the machine folder `root_fd`) followed by
  // `on_disk`, for `key`. Nothing is kept when a folder changed meanwhile, when the folders on
  // the way can no longer be opened as the same folder, or when they cannot all be watched.
  void Keep(std::uint64_t begun, const std::string& key, int root_fd, const char* drive_folder,
            const std::vector<std::string>& on_disk, const SharedFd& folder, const HostFileId& id);

 private:
  // Forgets every kept folder when paths have changed since the last look (`changes` is a
  // reading of PathChanges()). Called with the lock held.
  void CatchUp(std::uint64_t changes);
  // True when this object belongs to the current process (not inherited across a fork).
  bool Usable() const;

  struct Kept {
    SharedFd folder;
    HostFileId id;
    std::vector<std::string> on_disk;
  };

  AdaptiveMutex mutex_;
  std::uint64_t fork_epoch_;
  std::uint64_t seen_changes_ = 0;  // the reading of PathChanges() that kept_ is valid for
  std::unordered_map<std::string, Kept> kept_;
};

}  // namespace w98::internal

#endif  // W98_SRC_CORE_OPEN_FOLDERS_H
