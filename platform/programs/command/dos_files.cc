#include "dos_files.h"

#include "w98/io.h"
#include "w98/windows.h"

namespace dos {
namespace {

size_t NameStart(std::string_view path) {
  const size_t sep = path.find_last_of("\\/:");
  return sep == std::string_view::npos ? 0 : sep + 1;
}

}  // namespace

std::string FolderOf(std::string_view path) {
  return std::string(path.substr(0, NameStart(path)));
}

std::string NameOf(std::string_view path) {
  return std::string(path.substr(NameStart(path)));
}

std::string Join(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != '\\' && out.back() != '/' && out.back() != ':') out += '\\';
  out += name;
  return out;
}

std::string FullPath(std::string_view path) {
  const std::string text(path);
  char buffer[MAX_PATH * 4];
  const DWORD n = GetFullPathNameA(text.c_str(), sizeof buffer, buffer, nullptr);
  if (n == 0 || n >= sizeof buffer) return text;
  return std::string(buffer, n);
}

uint32_t Attributes(const std::string& path) {
  return GetFileAttributesA(path.c_str());
}

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<Match> FindMatches(const std::string& pattern, bool folders, bool hidden) {
  std::vector<Match> matches;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return matches;
  const std::string folder = FolderOf(pattern);
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    const DWORD attributes = data.dwFileAttributes;
    if (!folders && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    if (!hidden && (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) continue;
    Match match;
    match.name = name;
    match.path = folder + name;
    match.attributes = attributes;
    match.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    matches.push_back(std::move(match));
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return matches;
}

std::vector<std::string> SubFolders(const std::string& folder) {
  std::vector<std::string> out;
  for (const Match& match : FindMatches(Join(folder, "*.*"), true, true))
    if ((match.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) out.push_back(match.path);
  return out;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return false;
  char buffer[16384];
  for (;;) {
    const int n = _read(fd, buffer, sizeof buffer);
    if (n < 0) {
      _close(fd);
      bytes->clear();
      return false;
    }
    if (n == 0) break;
    bytes->append(buffer, static_cast<size_t>(n));
  }
  _close(fd);
  return true;
}

bool CreateFolders(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  if (IsFolder(path)) return true;
  const std::string parent = FolderOf(path);
  if (!parent.empty() && parent != path && !CreateFolders(parent)) return false;
  return CreateDirectoryA(path.c_str(), nullptr) != FALSE || IsFolder(path);
}

}  // namespace dos
