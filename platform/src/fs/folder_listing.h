// The names in a folder as w98 shows them, cached per folder.
//
// A listing holds the entries that Windows 98 could hold (valid long names of at most 255
// characters, not ending in a dot or blank, not helper files of the registry storage, the
// first of names equal without regard to case), in case-insensitive order, with their 8.3
// aliases and maps for case-insensitive lookup by long name or alias. Listings are kept per
// folder and reused while the folder's modification time is unchanged; a listing read while
// the folder was changing within the host's timestamp granularity is not kept, so a change
// made in the same instant by another process is never missed.
#ifndef W98_SRC_FS_FOLDER_LISTING_H
#define W98_SRC_FS_FOLDER_LISTING_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "w98/windef.h"

namespace w98::internal {

struct FolderEntry {
  std::string name;    // on-disk name
  std::string alias;   // 8.3 alias; "" when the name is its own short name
  unsigned char type;  // DT_* of the directory entry (DT_UNKNOWN when the host did not say)

  // The alias, or the name itself when it is its own short name.
  const std::string& ShortName() const { return alias.empty() ? name : alias; }
};

class FolderListing {
 public:
  struct RawEntry {
    std::string name;
    unsigned char type;
  };
  // Keeps the listable entries of `raw` (see above) and assigns their aliases.
  explicit FolderListing(std::vector<RawEntry> raw);

  const std::vector<FolderEntry>& Entries() const { return entries_; }
  // The entry whose long name or alias equals `name` without regard to case, or nullptr.
  const FolderEntry* Find(std::string_view name) const;

 private:
  std::vector<FolderEntry> entries_;
  std::unordered_map<std::string, std::uint32_t> by_name_;   // upper-cased long name
  std::unordered_map<std::string, std::uint32_t> by_alias_;  // alias (upper case already)
};

// The listing of the folder open as `dir_fd` (any descriptor of the folder, O_PATH will do).
// Returns nullptr with *error set when the folder cannot be read. Safe from any thread; the
// returned listing never changes.
std::shared_ptr<const FolderListing> ListFolder(int dir_fd, DWORD* error);

// Drops every cached listing (after the machine changes, or when a caller knows better).
void ForgetFolderListings();

// True for an on-disk name that w98 shows (see above), helper files of the registry included.
bool IsListableName(std::string_view name);

}  // namespace w98::internal

#endif  // W98_SRC_FS_FOLDER_LISTING_H
