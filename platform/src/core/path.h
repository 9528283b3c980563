// DOS paths of the machine and their host counterparts.
//
// A DOS path names a drive letter and components below its root. Lookup is case-insensitive
// and case-preserving, and a component may also be given as its 8.3 alias ("PROGRA~1"); "."
// and ".." are folded and never climb above the drive's root, and no path ever resolves
// outside the machine folder: a symbolic link on the way is refused, and resolution walks
// open folders without following links, so a folder swapped for a link meanwhile cannot
// redirect it. Lookups of names in a folder are served from a per-folder cache (see
// fs/folder_listing.h) that stays valid while the folder does not change, and the open folders
// of resolved paths are reused while no folder on their way changes (see core/open_folders.h).
#ifndef W98_SRC_CORE_PATH_H
#define W98_SRC_CORE_PATH_H

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fs/host_calls.h"
#include "fs/unique_fd.h"
#include "w98/windef.h"

namespace w98::internal {

struct DosPath {
  char drive = 'C';                // upper-case drive letter
  std::vector<std::string> parts;  // components below the root, without "." and ".."

  // "C:\WINDOWS\WIN.INI"; the root alone is "C:\".
  std::string ToString() const;
  // The length of ToString(), without building it.
  size_t TextLength() const;
  bool IsRoot() const { return parts.empty(); }
};

// True for a name that Windows 98 can hold: not empty, no '"' '<' '>' '|' '*' '?' ':' '/' '\'
// and no control characters; not "." or "..".
bool IsValidLongName(std::string_view name);

// Parses an absolute ("C:\A", "c:/a") or relative ("A\B", "\A") DOS path against the
// process's current folder. Trailing dots and blanks of a component are dropped, as Windows
// drops them. ERROR_INVALID_NAME when a component is not a valid name,
// ERROR_FILENAME_EXCED_RANGE for a component longer than 255 characters or a path of MAX_PATH
// characters or more, ERROR_PATH_NOT_FOUND for an empty path, a malformed drive or a network
// path ("\\server\share").
DWORD ParseDosPath(std::string_view text, DosPath& out);

// Like ParseDosPath, but any text is taken as a component (no name or length checks), as
// GetFullPathNameA folds a path. Fails only for an empty path or a malformed drive.
DWORD FoldDosPath(std::string_view text, DosPath& out);

// The process's current DOS folder ("C:\" until changed).
std::string CurrentFolder();
void SetCurrentFolder(const std::string& dos);

struct HostPath {
  std::filesystem::path host;  // host path; existing components in their on-disk spelling
  std::string dos;             // the DOS path, existing components in their on-disk spelling
  std::string name;            // last component as found on disk (or as given, when missing)
  bool exists = false;         // the whole path exists
  bool is_directory = false;   // it exists and is a folder (a drive root is a folder)
};

// Resolves a DOS path on the current machine. Every folder on the way must exist
// (ERROR_PATH_NOT_FOUND otherwise, also for a missing drive or no machine); the last component
// may be missing (exists = false). A symbolic link on the way, or a file that w98 keeps out of
// sight (helper files of the registry storage): ERROR_ACCESS_DENIED.
DWORD Resolve(const DosPath& path, HostPath& out);

// ParseDosPath followed by Resolve.
DWORD ResolveDosPath(std::string_view text, HostPath& out);

// A DOS path resolved for race-free work on it: the folder that holds the last component,
// open without following links, and the component's on-disk name. Work on the entry goes
// through the *at system calls relative to `folder` (never through `host`, which is for
// messages and for code that only reads).
struct Location {
  char drive = 'C';
  SharedFd folder;            // O_PATH descriptor of the folder holding the last component
                              // (of the drive root itself for a root), perhaps shared with
                              // other resolutions of the same folder
  HostFileId folder_id;       // the identity of that folder
  std::string leaf;           // on-disk name of the last component (as given when missing);
                              // "." for a drive root
  std::string dos;            // DOS path, existing components in on-disk spelling
  std::string host;           // host path of the same (a plain string: most callers never
                              // use it, and a filesystem::path would split it at every call)
  bool exists = false;        // the last component exists (never true for a link)
  bool is_root = false;       // the path is a drive's root
  bool out_of_sight = false;  // the name is a file that w98 never shows nor opens
  struct stat st {};          // the entry's status when it exists

  bool IsDirectory() const { return exists && S_ISDIR(st.st_mode); }
  bool IsFile() const { return exists && S_ISREG(st.st_mode); }
};

// Resolves a DOS path on the current machine as Resolve does, keeping the folder open.
// Errors as Resolve, except that a file kept out of sight is reported as missing with
// out_of_sight set (so that readers answer "not found" and creators "access denied").
DWORD Locate(const DosPath& path, Location& out);
// ParseDosPath followed by Locate.
DWORD LocateDosPath(std::string_view text, Location& out);

// Drops the folder descriptor of the machine that path resolution keeps open.
void ForgetMachineRoot();

}  // namespace w98::internal

#endif  // W98_SRC_CORE_PATH_H
