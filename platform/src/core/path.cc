#include "core/path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <mutex>

#include "core/machine.h"
#include "core/text.h"
#include "process/process_info.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

std::mutex g_cwd_mutex;
// A program started by another program of the machine begins in the folder it was given.
std::string g_cwd = [] {
  const std::string inherited = InheritedVariable("W98_CURRENT_DIRECTORY");
  return inherited.empty() ? std::string("C:\\") : inherited;
}();

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Finds `name` in the host folder `dir` without regard to case. Returns the on-disk name, or
// "" when absent.
std::string FindEntryNoCase(const std::filesystem::path& dir, const std::string& name) {
  struct stat st {};
  if (::lstat((dir / name).c_str(), &st) == 0) return name;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return {};
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (EqualsNoCase(e->d_name, name)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

}  // namespace

std::string DosPath::ToString() const {
  std::string out(1, drive);
  out += ":\\";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += '\\';
    out += parts[i];
  }
  return out;
}

bool IsValidLongName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 0x20) return false;
    switch (c) {
      case '"': case '<': case '>': case '|': case '*': case '?': case ':': case '/': case '\\':
        return false;
      default:
        break;
    }
  }
  return true;
}

DWORD ParseDosPath(std::string_view text, DosPath& out) {
  out = DosPath{};
  if (text.empty()) return ERROR_PATH_NOT_FOUND;
  std::string_view rest = text;
  if (rest.size() >= 2 && rest[1] == ':') {
    const char letter = FoldCase(rest[0]);
    if (letter < 'A' || letter > 'Z') return ERROR_PATH_NOT_FOUND;
    out.drive = letter;
    rest.remove_prefix(2);
    if (rest.empty() || !IsSeparator(rest.front())) {
      // "C:name" is relative to the current folder of that drive; w98 keeps one current
      // folder, so it counts from the drive's root unless the current folder is on it.
      DosPath cwd;
      const std::string current = CurrentFolder();
      if (FoldCase(current[0]) == letter && ParseDosPath(current, cwd) == ERROR_SUCCESS)
        out.parts = cwd.parts;
    }
  } else if (!IsSeparator(rest.front())) {
    DosPath cwd;
    const std::string current = CurrentFolder();
    if (current != text && ParseDosPath(current, cwd) == ERROR_SUCCESS) out = cwd;
  } else {
    DosPath cwd;
    if (ParseDosPath(CurrentFolder(), cwd) == ERROR_SUCCESS) out.drive = cwd.drive;
  }
  size_t pos = 0;
  while (pos <= rest.size()) {
    size_t end = pos;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string_view part = rest.substr(pos, end - pos);
    // Windows drops trailing blanks and dots of a component.
    while (!part.empty() && part != "." && part != ".." && (part.back() == ' ' || part.back() == '.'))
      part.remove_suffix(1);
    if (part.empty() || part == ".") {
      // skip
    } else if (part == "..") {
      if (!out.parts.empty()) out.parts.pop_back();
    } else if (!IsValidLongName(part)) {
      return ERROR_INVALID_NAME;
    } else {
      out.parts.emplace_back(part);
    }
    if (end >= rest.size()) break;
    pos = end + 1;
  }
  return ERROR_SUCCESS;
}

std::string CurrentFolder() {
  std::lock_guard<std::mutex> lock(g_cwd_mutex);
  return g_cwd;
}

void SetCurrentFolder(const std::string& dos) {
  std::lock_guard<std::mutex> lock(g_cwd_mutex);
  g_cwd = dos;
}

DWORD Resolve(const DosPath& path, HostPath& out) {
  out = HostPath{};
  auto machine = Machine::Current();
  if (!machine || !machine->HasDrive(path.drive)) return ERROR_PATH_NOT_FOUND;
  std::filesystem::path host = machine->DriveFolder(path.drive);
  DosPath found;
  found.drive = path.drive;
  for (size_t i = 0; i < path.parts.size(); ++i) {
    const bool last = i + 1 == path.parts.size();
    const std::string entry = FindEntryNoCase(host, path.parts[i]);
    if (entry.empty()) {
      if (!last) return ERROR_PATH_NOT_FOUND;
      host /= path.parts[i];
      found.parts.push_back(path.parts[i]);
      out.host = host;
      out.dos = found.ToString();
      out.name = path.parts[i];
      return ERROR_SUCCESS;
    }
    host /= entry;
    found.parts.push_back(entry);
    struct stat st {};
    if (::lstat(host.c_str(), &st) != 0) return last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    if (S_ISLNK(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (!last && !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
    if (last) out.is_directory = S_ISDIR(st.st_mode);
  }
  out.host = host;
  out.dos = found.ToString();
  out.name = found.parts.empty() ? std::string() : found.parts.back();
  out.exists = true;
  if (path.parts.empty()) out.is_directory = true;
  return ERROR_SUCCESS;
}

DWORD ResolveDosPath(std::string_view text, HostPath& out) {
  DosPath path;
  const DWORD err = ParseDosPath(text, path);
  if (err != ERROR_SUCCESS) return err;
  return Resolve(path, out);
}

}  // namespace w98::internal
