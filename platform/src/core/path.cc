#include "core/path.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "core/machine.h"
#include "core/open_folders.h"
#include "core/text.h"
#include "fs/folder_listing.h"
#include "fs/host_calls.h"
#include "process/process_info.h"
#include "registry/storage_hooks.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

std::mutex g_cwd_mutex;
// A program started by another program of the machine begins in the folder it was given.
std::string g_cwd = [] {
  const std::string inherited = InheritedVariable("W98_CURRENT_DIRECTORY");
  return inherited.empty() ? std::string("C:\\") : inherited;
}();

constexpr size_t kMaxComponent = 255;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// The on-disk spellings of folder paths that were given in another case ("c:\windows\zemo"
// for "WINDOWS\zemo"), as the walk below found them. Such a path, which the kernel cannot open
// in one call as given, is then opened in one call in its remembered spelling instead of being
// walked folder by folder again. A remembered spelling is only tried: when its folders no longer
// open (without links), the walk runs again. The walk could only answer otherwise for a name
// that the disk holds in two cases at once, which no w98 call makes and no listing shows.
class FolderSpellings {
 public:
  bool Find(const std::string& given, std::vector<std::string>* on_disk) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = spellings_.find(given);
    if (it == spellings_.end()) return false;
    *on_disk = it->second;
    return true;
  }
  void Remember(std::string given, const std::vector<std::string>& on_disk) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spellings_.size() >= kMaxSpellings) spellings_.clear();
    spellings_[std::move(given)] = on_disk;
  }

 private:
  static constexpr size_t kMaxSpellings = 256;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, std::vector<std::string>> spellings_;
};

// The open machine folder, shared by every resolution until the machine changes.
struct MachineRoot {
  std::shared_ptr<Machine> machine;
  UniqueFd fd;
  mutable FolderSpellings spellings;
  mutable OpenFolders open_folders;
};

std::mutex g_root_mutex;
std::shared_ptr<const MachineRoot> g_root;
// Moves on whenever g_root is dropped, so that a thread may keep the root it last used and
// hand it out again without taking the lock (every resolution asks for it). A thread that makes
// no file call after the machine changed keeps the old root, and its open folders, until it
// ends.
std::atomic<std::uint64_t> g_root_epoch{1};

std::shared_ptr<const MachineRoot> CurrentRoot() {
  thread_local std::uint64_t t_epoch = 0;
  thread_local std::shared_ptr<const MachineRoot> t_root;
  const std::uint64_t epoch = g_root_epoch.load(std::memory_order_acquire);
  if (t_epoch == epoch && t_root) return t_root;
  auto machine = Machine::Current();
  if (!machine) return nullptr;
  std::lock_guard<std::mutex> lock(g_root_mutex);
  const auto kept = [&] {
    t_root = g_root;
    t_epoch = g_root_epoch.load(std::memory_order_relaxed);
    return t_root;
  };
  if (g_root && g_root->machine == machine) return kept();
  static const bool hooked = [] {
    RegisterMachineResetHook([] { ForgetMachineRoot(); });
    return true;
  }();
  (void)hooked;
  auto root = std::make_shared<MachineRoot>();
  root->machine = machine;
  root->fd.reset(::open(machine->Root().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!root->fd.valid()) return nullptr;
  g_root = root;
  return kept();
}

enum class Check { kNames, kNone };

DWORD Parse(std::string_view text, DosPath& out, Check check);

// The current folder as a DosPath; false when it is not an absolute path (never expected).
bool CurrentDosPath(DosPath& out) {
  const std::string current = CurrentFolder();
  if (current.size() < 3 || current[1] != ':' || !IsSeparator(current[2])) return false;
  return Parse(current, out, Check::kNone) == ERROR_SUCCESS;
}

DWORD Parse(std::string_view text, DosPath& out, Check check) {
  out = DosPath{};
  if (text.empty()) return ERROR_PATH_NOT_FOUND;
  if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]))
    return ERROR_PATH_NOT_FOUND;  // a network path: the machine has no network
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
      if (CurrentDosPath(cwd) && cwd.drive == letter) out.parts = cwd.parts;
    }
  } else {
    DosPath cwd;
    if (CurrentDosPath(cwd)) {
      if (IsSeparator(rest.front()))
        out.drive = cwd.drive;
      else
        out = cwd;
    }
  }
  out.parts.reserve(out.parts.size() + 8);  // one allocation for the usual depth
  size_t pos = 0;
  while (pos <= rest.size()) {
    size_t end = pos;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string_view part = rest.substr(pos, end - pos);
    // Windows drops trailing blanks and dots of a component.
    while (!part.empty() && part != "." && part != ".." &&
           (part.back() == ' ' || part.back() == '.'))
      part.remove_suffix(1);
    if (part.empty() || part == ".") {
      // skip
    } else if (part == "..") {
      if (!out.parts.empty()) out.parts.pop_back();
    } else if (check == Check::kNames && !IsValidLongName(part)) {
      return ERROR_INVALID_NAME;
    } else if (check == Check::kNames && part.size() > kMaxComponent) {
      return ERROR_FILENAME_EXCED_RANGE;
    } else {
      out.parts.emplace_back(part);
    }
    if (end >= rest.size()) break;
    pos = end + 1;
  }
  if (check == Check::kNames && out.TextLength() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  return ERROR_SUCCESS;
}

// Finds `name` in the open folder `dir_fd` (of identity `*dir_id`, when known): from what is
// known of the folder when it is kept current, else its own spelling first, then without
// regard to case or as an 8.3 alias. `fresh`: the reported changes were applied at the start
// of this resolution. Fills `real` (the on-disk name) and `st`; ERROR_FILE_NOT_FOUND when
// absent.
DWORD FindOnDisk(int dir_fd, const HostFileId* dir_id, bool fresh, const std::string& name,
                 std::string& real, struct stat& st) {
  std::string known;
  const KnownName answer = dir_id ? LookUpKnownName(*dir_id, name, &known, fresh)
                                  : LookUpKnownName(dir_fd, name, &known);
  switch (answer) {
    case KnownName::kAbsent:
      return ERROR_FILE_NOT_FOUND;
    case KnownName::kPresent:
      if (::fstatat(dir_fd, known.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        real = std::move(known);
        return ERROR_SUCCESS;
      }
      break;  // gone meanwhile: look again below
    case KnownName::kUnknown:
      break;
  }
  if (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    real = name;
    return ERROR_SUCCESS;
  }
  if (errno != ENOENT) return Win32ErrorFromErrno(errno);
  FolderEntry entry;
  const DWORD error = FindInFolder(dir_fd, name, entry, /*with_alias=*/false);
  if (error != ERROR_SUCCESS) return error;
  if (::fstatat(dir_fd, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return Win32ErrorFromErrno(errno);
  real = std::move(entry.name);
  return ERROR_SUCCESS;
}

// Opens the drive folder and walks the folders of `parts` (all but the last component) one
// by one, refusing links. `on_disk` receives their on-disk spellings.
DWORD WalkFolders(int root_fd, char drive_folder, const std::vector<std::string>& parts,
                  size_t count, UniqueFd& folder, std::vector<std::string>& on_disk) {
  const char drive_name[2] = {drive_folder, '\0'};
  UniqueFd current(::openat(root_fd, drive_name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!current.valid()) return ERROR_PATH_NOT_FOUND;
  for (size_t i = 0; i < count; ++i) {
    std::string real;
    struct stat st {};
    const DWORD error = FindOnDisk(current.get(), nullptr, false, parts[i], real, st);
    if (error == ERROR_FILE_NOT_FOUND) return ERROR_PATH_NOT_FOUND;
    if (error != ERROR_SUCCESS) return error;
    if (S_ISLNK(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (!S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
    UniqueFd next(
        ::openat(current.get(), real.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.valid()) return errno == ELOOP ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
    current = std::move(next);
    on_disk.push_back(std::move(real));
  }
  folder = std::move(current);
  return ERROR_SUCCESS;
}

}  // namespace

size_t DosPath::TextLength() const {
  size_t length = 3;  // "C:\"
  for (const std::string& part : parts) length += part.size();
  return parts.empty() ? length : length + parts.size() - 1;
}

std::string DosPath::ToString() const {
  std::string out;
  out.reserve(TextLength());
  out += drive;
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
      case '"':
      case '<':
      case '>':
      case '|':
      case '*':
      case '?':
      case ':':
      case '/':
      case '\\':
        return false;
      default:
        break;
    }
  }
  return true;
}

DWORD ParseDosPath(std::string_view text, DosPath& out) {
  return Parse(text, out, Check::kNames);
}

DWORD FoldDosPath(std::string_view text, DosPath& out) {
  return Parse(text, out, Check::kNone);
}

std::string CurrentFolder() {
  std::lock_guard<std::mutex> lock(g_cwd_mutex);
  return g_cwd;
}

void SetCurrentFolder(const std::string& dos) {
  std::lock_guard<std::mutex> lock(g_cwd_mutex);
  g_cwd = dos;
}

DWORD Locate(const DosPath& path, Location& out) {
  out = Location{};
  out.drive = path.drive;
  auto root = CurrentRoot();
  if (!root) return ERROR_PATH_NOT_FOUND;
  const char drive_folder = static_cast<char>(path.drive - 'A' + 'a');
  const size_t folders = path.parts.empty() ? 0 : path.parts.size() - 1;

  std::vector<std::string> on_disk;
  UniqueFd folder;
  std::string given_folders;  // the key of their kept folder and remembered spelling
  if (folders > 0) {
    given_folders.assign(1, drive_folder);
    for (size_t i = 0; i < folders; ++i) (given_folders += '\\') += path.parts[i];
  }
  std::uint64_t begun = 0;
  SharedFd resolved;
  HostFileId resolved_id;
  struct stat resolved_st {};  // the folder's status, when read here
  const bool kept =
      folders > 0 && root->open_folders.Find(given_folders, &resolved, &resolved_id, &on_disk);
  if (folders > 0 && !kept) {
    begun = root->open_folders.Begin();
    // Fast path: the folders exist in the spelling the walk found for the given one before (a
    // spelling is remembered only when the given one was not on disk), or in the spelling
    // given, resolved by the kernel in one call that refuses every link. Anything else takes
    // the walk, which also finds other spellings.
    const auto open_path = [&](const std::vector<std::string>& parts) {
      std::string relative(1, drive_folder);
      for (size_t i = 0; i < folders; ++i) (relative += '/') += parts[i];
      folder.reset(OpenBeneath(root->fd.get(), relative.c_str(), O_PATH | O_DIRECTORY));
      return folder.valid();
    };
    std::vector<std::string> known;
    if (root->spellings.Find(given_folders, &known) && known.size() == folders &&
        open_path(known)) {
      on_disk = std::move(known);
    } else if (open_path(path.parts)) {
      on_disk.assign(path.parts.begin(), path.parts.begin() + folders);
    }
  }
  if (!kept && !folder.valid()) {
    on_disk.clear();
    const DWORD error =
        WalkFolders(root->fd.get(), drive_folder, path.parts, folders, folder, on_disk);
    if (error != ERROR_SUCCESS) return error;
    if (!given_folders.empty()) root->spellings.Remember(given_folders, on_disk);
  }
  if (!kept) {
    resolved = SharedFd(std::move(folder));
    if (::fstat(resolved.get(), &resolved_st) != 0) return ERROR_PATH_NOT_FOUND;
    resolved_id = HostFileId::Of(resolved_st);
    if (folders > 0) {
      const char drive_name[2] = {drive_folder, '\0'};
      root->open_folders.Keep(begun, given_folders, root->fd.get(), drive_name, on_disk, resolved,
                              resolved_id);
    }
  }

  std::string host = root->machine->Root().native();
  (host += '/') += drive_folder;
  DosPath dos;
  dos.drive = path.drive;
  dos.parts = std::move(on_disk);
  for (const std::string& part : dos.parts) (host += '/') += part;

  out.folder_id = resolved_id;
  if (path.parts.empty()) {
    out.st = resolved_st;  // a root is never kept: its status was read above
    out.folder = std::move(resolved);
    out.leaf.assign(1, '.');  // (assigning a literal trips a false -Wrestrict in GCC 12)
    out.is_root = true;
    out.exists = true;
    out.dos = dos.ToString();
    out.host = std::move(host);
    return ERROR_SUCCESS;
  }

  const std::string& given = path.parts.back();
  std::string real;
  // A kept folder was found after the reported changes were applied.
  const DWORD error = FindOnDisk(resolved.get(), &resolved_id, kept, given, real, out.st);
  if (error == ERROR_SUCCESS) {
    if (S_ISLNK(out.st.st_mode)) return ERROR_ACCESS_DENIED;
    out.leaf = std::move(real);
    out.exists = true;
  } else if (error == ERROR_FILE_NOT_FOUND) {
    out.leaf = given;
    out.st = {};
  } else {
    return error;
  }
  if (IsRegistryHelperFile(out.leaf)) {
    out.out_of_sight = true;
    out.exists = false;
    out.st = {};
  }
  dos.parts.push_back(out.leaf);
  (host += '/') += out.leaf;
  out.folder = std::move(resolved);
  out.dos = dos.ToString();
  out.host = std::move(host);
  return ERROR_SUCCESS;
}

DWORD LocateDosPath(std::string_view text, Location& out) {
  DosPath path;
  const DWORD err = ParseDosPath(text, path);
  if (err != ERROR_SUCCESS) return err;
  return Locate(path, out);
}

DWORD Resolve(const DosPath& path, HostPath& out) {
  out = HostPath{};
  Location where;
  const DWORD error = Locate(path, where);
  if (error != ERROR_SUCCESS) return error;
  if (where.out_of_sight) return ERROR_ACCESS_DENIED;
  out.host = std::move(where.host);
  out.dos = std::move(where.dos);
  out.name = where.is_root ? std::string() : where.leaf;
  out.exists = where.exists;
  out.is_directory = where.IsDirectory();
  return ERROR_SUCCESS;
}

DWORD ResolveDosPath(std::string_view text, HostPath& out) {
  DosPath path;
  const DWORD err = ParseDosPath(text, path);
  if (err != ERROR_SUCCESS) return err;
  return Resolve(path, out);
}

void ForgetMachineRoot() {
  std::shared_ptr<const MachineRoot> doomed;
  std::lock_guard<std::mutex> lock(g_root_mutex);
  doomed = std::move(g_root);
  g_root_epoch.fetch_add(1, std::memory_order_release);
}

}  // namespace w98::internal
