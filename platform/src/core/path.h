// DOS paths of the machine and their host counterparts.
//
// A DOS path names a drive letter and components below its root. Lookup is case-insensitive
// and case-preserving; "." and ".." are folded and never climb above the drive's root, and no
// path ever resolves outside the machine folder (a symbolic link on the way is refused).
#ifndef W98_SRC_CORE_PATH_H
#define W98_SRC_CORE_PATH_H

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "w98/windef.h"

namespace w98::internal {

struct DosPath {
  char drive = 'C';                // upper-case drive letter
  std::vector<std::string> parts;  // components below the root, without "." and ".."

  // "C:\WINDOWS\WIN.INI"; the root alone is "C:\".
  std::string ToString() const;
  bool IsRoot() const { return parts.empty(); }
};

// True for a name that Windows 98 can hold: not empty, no '"' '<' '>' '|' '*' '?' ':' '/' '\'
// and no control characters; not "." or "..".
bool IsValidLongName(std::string_view name);

// Parses an absolute ("C:\A", "c:/a") or relative ("A\B", "\A") DOS path against the
// process's current folder. ERROR_INVALID_NAME when a component is not a valid name,
// ERROR_PATH_NOT_FOUND for an empty path or a malformed drive.
DWORD ParseDosPath(std::string_view text, DosPath& out);

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
// may be missing (exists = false). A symbolic link on the way: ERROR_ACCESS_DENIED.
DWORD Resolve(const DosPath& path, HostPath& out);

// ParseDosPath followed by Resolve.
DWORD ResolveDosPath(std::string_view text, HostPath& out);

}  // namespace w98::internal

#endif  // W98_SRC_CORE_PATH_H
