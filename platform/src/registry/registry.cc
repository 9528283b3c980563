#include "registry/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include <mutex>
#include <unordered_map>

#include "core/machine.h"
#include "core/text.h"
#include "registry/hive_set.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

constexpr size_t kMaxDepth = 512;
constexpr ULONG_PTR kFirstHandle = 0x10000;

struct MachineRegistry {
  std::shared_ptr<Machine> machine;  // held, so that no other machine takes its address
  std::filesystem::path root;
  int generation = 0;
  std::shared_ptr<Hive> hives[2];
};

struct HandleEntry {
  KeyRef ref;
  int epoch;
};

// Created on first use and never destroyed, like every process-wide table of w98.
struct State {
  std::mutex mutex;
  std::shared_ptr<MachineRegistry> current;
  int epoch = 1;  // bumped when the machine changes: older handles stop working
  std::unordered_map<ULONG_PTR, HandleEntry> handles;
  ULONG_PTR next = kFirstHandle;
};

State& Global() {
  static State* state = new State;
  return *state;
}

// The machine's shared commit counters (one per hive) in its run folder, or nullptr when the
// file cannot be mapped. The mapping is kept for the life of the process.
std::atomic<std::uint64_t>* MapChangeCounters(const std::filesystem::path& run_folder) {
  constexpr size_t kSize = 64;
  const int fd =
      ::open((run_folder / "registry.changes").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  struct stat st {};
  void* map = MAP_FAILED;
  if (::fstat(fd, &st) == 0 &&
      (st.st_size >= static_cast<off_t>(kSize) || ::ftruncate(fd, kSize) == 0))
    map = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
  return map == MAP_FAILED ? nullptr : static_cast<std::atomic<std::uint64_t>*>(map);
}

void OnMachineReset() {
  std::shared_ptr<MachineRegistry> old;
  {
    State& s = Global();
    std::lock_guard<std::mutex> lock(s.mutex);
    old = std::move(s.current);
    ++s.epoch;
    s.handles.clear();
  }
  if (old)
    for (auto& hive : old->hives) hive->Detach();
}

[[maybe_unused]] const bool g_reset_registered = (RegisterMachineResetHook(OnMachineReset), true);

std::string FindNoCase(const std::filesystem::path& dir, const std::string& name) {
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

std::filesystem::path HivePathOf(const std::filesystem::path& root, HiveKind kind) {
  const Machine machine(root);
  const std::string windir = machine.WindowsFolder();
  std::filesystem::path path = machine.DriveFolder(windir.empty() ? 'C' : windir[0]);
  std::vector<std::string_view> parts;
  const std::string_view rest = windir.size() > 3 ? std::string_view(windir).substr(3) : "";
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string_view::npos) end = rest.size();
    if (end > start) parts.push_back(rest.substr(start, end - start));
    start = end + 1;
  }
  parts.push_back(kind == HiveKind::kSystem ? "SYSTEM.DAT" : "USER.DAT");
  for (std::string_view part : parts) {
    const std::string found = FindNoCase(path, std::string(part));
    path /= found.empty() ? std::string(part) : found;
  }
  return path;
}

LONG MachineHive(HiveKind kind, std::shared_ptr<Hive>* out, bool sync) {
  auto machine = Machine::Current();
  if (!machine) return ERROR_BADKEY;
  State& s = Global();
  const int generation = HiveSetGeneration();
  // The same machine object is the same root: no path comparison on every registry call.
  const auto fits = [&](const std::shared_ptr<MachineRegistry>& reg) {
    return reg && reg->generation == generation &&
           (reg->machine == machine || reg->root == machine->Root());
  };
  std::shared_ptr<MachineRegistry> reg;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    reg = s.current;
  }
  if (!fits(reg)) {
    // Opened outside the state's lock: hives take their own locks, which come after it.
    auto fresh = std::make_shared<MachineRegistry>();
    fresh->machine = machine;
    fresh->root = machine->Root();
    fresh->generation = generation;
    fresh->hives[0] = OpenHive(HivePathOf(fresh->root, HiveKind::kSystem));
    fresh->hives[1] = OpenHive(HivePathOf(fresh->root, HiveKind::kUser));
    if (std::atomic<std::uint64_t>* counters = MapChangeCounters(machine->RunFolder())) {
      fresh->hives[0]->SetChangeCounter(&counters[0]);
      fresh->hives[1]->SetChangeCounter(&counters[1]);
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!fits(s.current)) {
      if (s.current && s.current->generation != generation) s.handles.clear();
      s.current = std::move(fresh);
    }
    reg = s.current;
  }
  *out = reg->hives[kind == HiveKind::kSystem ? 0 : 1];
  return sync ? (*out)->Sync() : ERROR_SUCCESS;
}

LONG ResolveKey(HKEY hkey, KeyRef* out) {
  *out = KeyRef();
  if (hkey == HKEY_LOCAL_MACHINE || hkey == HKEY_CLASSES_ROOT) {
    out->root = hkey;
    return MachineHive(HiveKind::kSystem, &out->hive);
  }
  if (hkey == HKEY_CURRENT_USER || hkey == HKEY_USERS) {
    out->root = hkey;
    out->users = hkey == HKEY_USERS;
    return MachineHive(HiveKind::kUser, &out->hive);
  }
  {
    State& s = Global();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.handles.find(reinterpret_cast<ULONG_PTR>(hkey));
    if (it == s.handles.end() || it->second.epoch != s.epoch) return ERROR_BADKEY;
    *out = it->second.ref;
  }
  return out->hive->Sync();
}

RegKey* RootKey(KeyRef& ref) {
  if (ref.key) return ref.key.get();
  RegKey& root = ref.hive->Root();
  if (ref.root == HKEY_CLASSES_ROOT) {
    static const std::vector<std::string_view> kClasses = {"Software", "Classes"};
    if (auto classes = ref.hive->Find(root, kClasses)) return classes.get();
    bool created = false;
    return ref.hive->Create(root, kClasses, &created).get();
  }
  return &root;
}

HKEY InsertKeyHandle(KeyRef ref) {
  State& s = Global();
  std::lock_guard<std::mutex> lock(s.mutex);
  const ULONG_PTR value = s.next;
  s.next += 4;
  s.handles.emplace(value, HandleEntry{std::move(ref), s.epoch});
  return reinterpret_cast<HKEY>(value);
}

LONG CloseKeyHandle(HKEY hkey) {
  KeyRef doomed;  // released outside the lock
  State& s = Global();
  std::lock_guard<std::mutex> lock(s.mutex);
  const auto value = reinterpret_cast<ULONG_PTR>(hkey);
  auto it = s.handles.find(value);
  if (it != s.handles.end()) {
    doomed = std::move(it->second.ref);
    s.handles.erase(it);
    return ERROR_SUCCESS;
  }
  const bool once_issued =
      value >= kFirstHandle && value < s.next && (value - kFirstHandle) % 4 == 0;
  return once_issued ? ERROR_SUCCESS : ERROR_BADKEY;
}

bool SplitKeyPath(std::string_view path, std::vector<std::string_view>* parts) {
  parts->clear();
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  if (path.empty()) return true;
  size_t start = 0;
  for (;;) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end == start || parts->size() == kMaxDepth) return false;
    parts->push_back(path.substr(start, end - start));
    if (end == path.size()) return true;
    start = end + 1;
  }
}

const char* RootName(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (root == HKEY_USERS) return "HKEY_USERS";
  return nullptr;
}

HKEY RootOfName(std::string_view name) {
  struct Entry {
    const char* full;
    const char* brief;
    HKEY root;
  };
  static const Entry kRoots[] = {
      {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
      {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
      {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
      {"HKEY_USERS", "HKU", HKEY_USERS},
  };
  for (const auto& e : kRoots)
    if (EqualsNoCase(name, e.full) || EqualsNoCase(name, e.brief)) return e.root;
  return nullptr;
}

}  // namespace w98::internal
