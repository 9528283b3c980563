// File helpers over the w98 calls, shared by the machine's DOS programs (COMMAND, ATTRIB)
// and the maker's companion programs: DOS path pieces, wildcard enumeration, existence tests.
// Every call goes through <w98/windows.h>, so attributes, read-only protection and the
// machine's clock hold.
#ifndef COMMAND_DOS_FILES_H
#define COMMAND_DOS_FILES_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dos {

// "C:\A\B.TXT" -> folder "C:\A\" and name "B.TXT"; "C:B" -> "C:" and "B"; "B" -> "" and "B".
// The folder keeps its trailing separator, so folder + name gives the path back.
std::string FolderOf(std::string_view path);
std::string NameOf(std::string_view path);

// Joins a folder ("", "C:", "C:\A", "C:\A\") and a name with one backslash where needed.
std::string Join(std::string_view folder, std::string_view name);

// The full DOS path of a relative or absolute name (GetFullPathNameA); the name itself when
// it cannot be resolved.
std::string FullPath(std::string_view path);

// Attributes of a path, or INVALID_FILE_ATTRIBUTES (0xFFFFFFFF) when it does not exist.
uint32_t Attributes(const std::string& path);
bool IsFile(const std::string& path);    // exists and is not a folder
bool IsFolder(const std::string& path);  // exists and is a folder (a drive root is one)

struct Match {
  std::string name;  // long name as found on disk
  std::string path;  // the folder as given (or implied) joined with the name
  uint32_t attributes = 0;
  uint64_t size = 0;
};

// The entries that `pattern` matches (wildcards allowed in its last part), "." and ".."
// left out. Folders are included only when `folders` is true; hidden and system files only
// when `hidden` is true. Empty when nothing matches or the folder is missing.
std::vector<Match> FindMatches(const std::string& pattern, bool folders, bool hidden);

// The sub-folders of `folder` (without "." and ".."), hidden ones included.
std::vector<std::string> SubFolders(const std::string& folder);

// Reads a whole file in binary mode through the C runtime of w98. False when it cannot be
// opened or read (errno and the last error tell why); *bytes is then left empty.
bool ReadWholeFile(const std::string& path, std::string* bytes);

// Creates `folder` and every missing folder above it. True when it exists afterwards.
bool CreateFolders(const std::string& folder);

}  // namespace dos

#endif  // COMMAND_DOS_FILES_H
