#include "fs/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>

#include "core/machine.h"
#include "core/path.h"
#include "core/text.h"
#include "fs/host_calls.h"
#include "fs/short_names.h"
#include "fs/unique_fd.h"
#include "registry/storage_hooks.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

// A listing is kept only when the folder's last change is at least this much older than the
// moment the listing was begun: far more than the granularity of host timestamps, so any later
// change gives the folder a different change time.
constexpr std::int64_t kSettledNs = 100'000'000;
constexpr size_t kMaxCachedFolders = 1024;

struct FolderKey {
  dev_t dev;
  ino_t ino;
  bool operator==(const FolderKey&) const = default;
};
struct FolderKeyHash {
  size_t operator()(const FolderKey& k) const {
    return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(k.ino) * 1000003u ^
                                      static_cast<std::uint64_t>(k.dev));
  }
};
struct CachedListing {
  std::int64_t change_ns;  // the folder's ctime when the listing was read
  std::shared_ptr<const FolderListing> listing;
};

struct ListingCache {
  std::mutex mutex;
  std::unordered_map<FolderKey, CachedListing, FolderKeyHash> folders;
};

ListingCache& Cache() {
  static ListingCache* cache = [] {
    auto* c = new ListingCache;  // outlives every static destructor
    RegisterMachineResetHook([] { ForgetFolderListings(); });
    return c;
  }();
  return *cache;
}

std::int64_t Nanoseconds(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

bool IsShownType(unsigned char type) {
  return type == DT_REG || type == DT_DIR || type == DT_UNKNOWN;
}

DWORD ReadNames(int dir_fd, std::vector<FolderListing::RawEntry>& out) {
  UniqueFd fd(::openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return Win32ErrorFromErrno(errno);
  DIR* dir = ::fdopendir(fd.get());
  if (dir == nullptr) return Win32ErrorFromErrno(errno);
  fd.release();
  errno = 0;
  while (dirent* e = ::readdir(dir)) {
    if (IsShownType(e->d_type)) out.push_back({e->d_name, e->d_type});
  }
  const int error = errno;
  ::closedir(dir);
  return error == 0 ? ERROR_SUCCESS : Win32ErrorFromErrno(error);
}

}  // namespace

bool IsListableName(std::string_view name) {
  return name.size() <= 255 && IsValidLongName(name) && name.back() != '.' && name.back() != ' ' &&
         !IsRegistryHelperFile(name);
}

FolderListing::FolderListing(std::vector<RawEntry> raw) {
  std::sort(raw.begin(), raw.end(), [](const RawEntry& a, const RawEntry& b) {
    const int c = CompareNoCase(a.name, b.name);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  std::vector<std::string> names;
  names.reserve(raw.size());
  entries_.reserve(raw.size());
  by_name_.reserve(raw.size());
  for (RawEntry& r : raw) {
    if (!IsListableName(r.name)) continue;
    // Windows cannot hold two names that differ only in case; the first one is shown.
    auto [it, fresh] =
        by_name_.try_emplace(UpperCase(r.name), static_cast<std::uint32_t>(entries_.size()));
    if (!fresh) continue;
    names.push_back(r.name);
    entries_.push_back(FolderEntry{std::move(r.name), {}, r.type});
  }
  std::vector<std::string> aliases = AssignShortNames(names);
  for (size_t i = 0; i < entries_.size(); ++i) {
    entries_[i].alias = std::move(aliases[i]);
    if (!entries_[i].alias.empty())
      by_alias_.emplace(entries_[i].alias, static_cast<std::uint32_t>(i));
  }
}

const FolderEntry* FolderListing::Find(std::string_view name) const {
  const std::string key = UpperCase(name);
  if (auto it = by_name_.find(key); it != by_name_.end()) return &entries_[it->second];
  if (auto it = by_alias_.find(key); it != by_alias_.end()) return &entries_[it->second];
  return nullptr;
}

std::shared_ptr<const FolderListing> ListFolder(int dir_fd, DWORD* error) {
  timespec begun{};
  ::clock_gettime(CLOCK_REALTIME, &begun);
  struct stat st {};
  if (::fstat(dir_fd, &st) != 0) {
    if (error) *error = Win32ErrorFromErrno(errno);
    return nullptr;
  }
  const FolderKey key{st.st_dev, st.st_ino};
  const std::int64_t change_ns = Nanoseconds(st.st_ctim);
  ListingCache& cache = Cache();
  {
    std::lock_guard<std::mutex> lock(cache.mutex);
    auto it = cache.folders.find(key);
    if (it != cache.folders.end() && it->second.change_ns == change_ns) return it->second.listing;
  }
  std::vector<FolderListing::RawEntry> raw;
  const DWORD read_error = ReadNames(dir_fd, raw);
  if (read_error != ERROR_SUCCESS) {
    if (error) *error = read_error;
    return nullptr;
  }
  auto listing = std::make_shared<const FolderListing>(std::move(raw));
  if (Nanoseconds(begun) - change_ns > kSettledNs) {
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.folders.size() >= kMaxCachedFolders) cache.folders.clear();
    cache.folders[key] = CachedListing{change_ns, listing};
  }
  return listing;
}

void ForgetFolderListings() {
  ListingCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  cache.folders.clear();
}

}  // namespace w98::internal
