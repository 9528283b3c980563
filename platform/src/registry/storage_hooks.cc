// What the file, process and session layers ask of the registry storage.
#include "registry/storage_hooks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>

#include "core/text.h"
#include "registry/hive_file.h"
#include "registry/hive_set.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

// Copies in progress are written beside their target under this mark, then renamed into place.
constexpr std::string_view kCopyMark = "~w98copy";
constexpr std::string_view kHelperSuffixes[] = {"-journal", "-wal", "-shm"};

// Files that this process reads through SQLite for a copy right now: they must not be opened
// with a plain descriptor here (closing it would drop SQLite's locks on them).
std::mutex g_copying_mutex;
std::set<std::pair<dev_t, ino_t>> g_copying;

bool LooksLikeDatabase(const std::filesystem::path& file, const struct stat& st) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool database = HasDatabaseHeader(fd, st);
  ::close(fd);
  return database;
}

std::shared_ptr<Hive> LiveHiveOf(const struct stat& st) {
  for (auto& hive : LiveHives())
    if (hive->Uses(st.st_dev, st.st_ino)) return hive;
  return nullptr;
}

std::filesystem::path TempBeside(const std::filesystem::path& target) {
  static std::atomic<unsigned> counter{0};
  return target.parent_path() / (target.filename().string() + std::string(kCopyMark) +
                                 std::to_string(::getpid()) + "." + std::to_string(++counter));
}

}  // namespace

bool HasDatabaseHeader(int fd, const struct stat& st) {
  if (st.st_size <= 0 || st.st_size % 512 != 0) return false;
  char header[16] = {};
  const ssize_t n = ::pread(fd, header, sizeof header, 0);
  return n == sizeof header && std::memcmp(header, "SQLite format 3", 16) == 0;
}

bool HiveFileInUse(const struct stat& st) {
  if (LiveHiveOf(st)) return true;
  std::lock_guard<std::mutex> lock(g_copying_mutex);
  return g_copying.count(std::make_pair(st.st_dev, st.st_ino)) != 0;
}

bool IsRegistryHelperFile(std::string_view name) {
  for (std::string_view suffix : kHelperSuffixes)
    if (name.size() > suffix.size() &&
        EqualsNoCase(name.substr(name.size() - suffix.size()), suffix))
      return true;
  // The mark begins with '~', which few names hold: only there is the rest compared. Every
  // path call asks this of its leaf.
  static_assert(kCopyMark.front() == '~');
  for (size_t at = name.find('~'); at != std::string_view::npos; at = name.find('~', at + 1))
    if (EqualsNoCase(name.substr(at, kCopyMark.size()), kCopyMark)) return true;
  return false;
}

bool CopyHiveConsistently(const std::filesystem::path& source, const std::filesystem::path& target,
                          DWORD* error) {
  struct stat st {};
  if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const auto id = std::make_pair(st.st_dev, st.st_ino);
  std::shared_ptr<Hive> live = LiveHiveOf(st);
  bool copying;
  {
    std::lock_guard<std::mutex> lock(g_copying_mutex);
    copying = g_copying.count(id) != 0;
  }
  if (!live && !copying && !LooksLikeDatabase(source, st)) return false;

  // A hive open here as the target (a restore in this process) lets go of its file first.
  BeforeHiveReplaced(target);
  const std::filesystem::path temp = TempBeside(target);
  LONG err;
  if (live) {
    err = live->Backup(temp);
  } else {
    {
      std::lock_guard<std::mutex> lock(g_copying_mutex);
      g_copying.insert(id);
    }
    err = BackupDatabaseFile(source, temp);
    {
      std::lock_guard<std::mutex> lock(g_copying_mutex);
      g_copying.erase(id);
    }
    if (err == ERROR_REGISTRY_CORRUPT) {
      // Not a database after all (or a damaged one that nobody has open): a plain copy of its
      // bytes is the best copy there is.
      ::unlink(temp.c_str());
      return false;
    }
  }
  if (err == ERROR_SUCCESS) {
    const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      ::fsync(fd);
      ::close(fd);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) err = ERROR_WRITE_FAULT;
  } else if (err != ERROR_DISK_FULL) {
    err = ERROR_READ_FAULT;
  }
  if (err != ERROR_SUCCESS) ::unlink(temp.c_str());
  *error = static_cast<DWORD>(err);
  return true;
}

void BeforeHiveReplaced(const std::filesystem::path& target) {
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  for (auto& hive : LiveHives())
    if (hive->File() == target || (exists && hive->Uses(st.st_dev, st.st_ino))) hive->Detach();
  // A journal left by a killed writer belongs to the old file: roll it back into that file (so
  // that the old file stays whole should the replacement fail), and make sure it is gone, so it
  // can never be rolled back into the new file.
  const std::filesystem::path journal = target.string() + "-journal";
  struct stat js {};
  if (::stat(journal.c_str(), &js) != 0) return;
  // An empty journal is what every commit leaves: there is nothing in it to roll back.
  if (exists && js.st_size > 0) RecoverDatabaseFile(target);
  ::unlink(journal.c_str());
}

void FlushAllHives() {
  CommitAllHives();
}

void ReleaseAllHives() {
  for (auto& hive : LiveHives()) hive->Detach();
}

}  // namespace w98::internal
