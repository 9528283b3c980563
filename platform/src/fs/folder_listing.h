// The names in a folder as w98 shows them, cached per folder.
//
// w98 shows the entries that Windows 98 could hold: valid long names of at most 255
// characters, not ending in a dot or blank, not helper files of the registry storage, and of
// names equal without regard to case only the first in byte order. A full listing holds them
// in case-insensitive order with their 8.3 aliases; a single lookup by name needs no listing.
//
// What is known of a folder is kept while the folder is in use and kept current: through the
// host's change notifications (inotify), which report every change, by any process, before the
// changing call returns; where those are not available, by the folder's change time, and then a
// folder read while it was changing within the host's timestamp granularity is read again next
// time, so that a change made in the same instant by another process is never missed. Creating
// thousands of files in one folder therefore costs each creation only its own change.
#ifndef W98_SRC_FS_FOLDER_LISTING_H
#define W98_SRC_FS_FOLDER_LISTING_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fs/host_calls.h"
#include "w98/windef.h"

namespace w98::internal {

struct FolderEntry {
  std::string name;   // on-disk name
  std::string alias;  // 8.3 alias; "" when the name is its own short name

  // The alias, or the name itself when it is its own short name.
  const std::string& ShortName() const { return alias.empty() ? name : alias; }
};

// A folder's listing at one moment; never changes once made.
class FolderListing {
 public:
  // Keeps the names that w98 shows (see above), sorts them and assigns their aliases.
  explicit FolderListing(std::vector<std::string> names);

  const std::vector<FolderEntry>& Entries() const { return entries_; }
  // The entry whose long name or alias equals `name` without regard to case, or nullptr.
  const FolderEntry* Find(std::string_view name) const;

 private:
  std::vector<FolderEntry> entries_;
  std::unordered_map<std::string, std::uint32_t> by_name_;   // upper-cased long name
  std::unordered_map<std::string, std::uint32_t> by_alias_;  // alias (upper case already)
};

// The listing of the folder open as `dir_fd` (any descriptor of it; O_PATH will do). Returns
// nullptr with *error set when the folder cannot be read. Safe from any thread.
std::shared_ptr<const FolderListing> ListFolder(int dir_fd, DWORD* error);

// Finds one entry of the folder open as `dir_fd` by its long name (without regard to case) or
// its 8.3 alias, and fills `entry` with its on-disk name and, when `with_alias`, its alias.
// ERROR_FILE_NOT_FOUND when there is none. Works out the aliases of the whole folder only when
// `name` could be an alias with a numeric tail or the entry's own alias is asked for and has
// one. Safe from any thread.
DWORD FindInFolder(int dir_fd, std::string_view name, FolderEntry& entry, bool with_alias = true);

// What the kept-current knowledge of one folder says of a name.
enum class KnownName { kPresent, kAbsent, kUnknown };

// Answers whether the folder open as `dir_fd` holds `name` (without regard to case) from what is
// known of it, without asking the host: kPresent, with its on-disk spelling in `real` (the name
// itself when the disk holds that exact spelling), or kAbsent. kUnknown when the folder is not
// known and kept current by change notifications, or for a name that only a full look can
// settle (a possible 8.3 alias, a name no listing shows). A host lookup of a name that a large
// folder does not hold costs many times one that it does, and in a folder being filled it
// waits for the writer. Safe from any thread.
KnownName LookUpKnownName(int dir_fd, std::string_view name, std::string* real);
// The same for the folder whose identity is `folder` (a folder kept open, whose identity is
// known already): the host is not asked for it. `fresh` tells that PathChanges() was called
// at the start of the caller's resolution, so the changes reported before it are applied.
KnownName LookUpKnownName(const HostFileId& folder, std::string_view name, std::string* real,
                          bool fresh = false);

// Paths through folders. The queue of change notifications that keeps folders current also
// serves path resolution, which keeps folders open while no folder on their way changes.
//
// Watches the folder open as `fd` for changes of the paths through it (a folder in it removed,
// moved or put there; the folder itself removed or moved). False when change notifications are
// not available (or not used), or too many folders are watched.
bool WatchPathFolder(int fd);
// Applies every change reported so far and returns how many path changes of watched folders
// have been seen; it also moves on when changes were lost and when everything known is dropped.
// Two equal readings mean that no path through a folder watched all along changed between them.
std::uint64_t PathChanges();

// Drops everything known of every folder (after the machine changes).
void ForgetFolderListings();

// Whether folders are kept current by change notifications (the default, where the host offers
// them) or by their change time alone (as on hosts without them). Drops what is known. For
// tests of the second way.
void UseChangeNotifications(bool use);

// True for an on-disk name that w98 shows (see above), helper files of the registry included.
bool IsListableName(std::string_view name);

}  // namespace w98::internal

#endif  // W98_SRC_FS_FOLDER_LISTING_H
