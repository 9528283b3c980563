#include "fs/capacity.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "core/machine.h"
#include "fs/host_calls.h"
#include "fs/unique_fd.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

// The drive capacities as last read from machine.ini, with the stamp of the file they were read
// from (Machine::IniStamp: a change of contents changes it).
struct Capacities {
  std::mutex mutex;
  const Machine* machine = nullptr;
  std::int64_t stamp = -2;
  std::array<std::uint64_t, 26> bytes{};
};

Capacities& TheCapacities() {
  static Capacities* c = new Capacities;  // outlives every static destructor
  return *c;
}

int DriveIndex(char drive) {
  const char upper = (drive >= 'a' && drive <= 'z') ? static_cast<char>(drive - 32) : drive;
  return (upper >= 'A' && upper <= 'Z') ? upper - 'A' : -1;
}

// The capacity of a drive (0: none) and the stamp of the machine.ini it comes from.
std::uint64_t CapacityOf(const Machine& machine, char drive, std::int64_t* stamp_out) {
  const int index = DriveIndex(drive);
  if (index < 0) return 0;
  const std::int64_t stamp = machine.IniStamp();
  if (stamp_out) *stamp_out = stamp;
  Capacities& c = TheCapacities();
  std::lock_guard<std::mutex> lock(c.mutex);
  if (c.machine != &machine || c.stamp != stamp) {
    for (int i = 0; i < 26; ++i) {
      const std::string value =
          machine.Setting("capacity", std::string(1, static_cast<char>('A' + i)), "0");
      c.bytes[static_cast<size_t>(i)] = std::strtoull(value.c_str(), nullptr, 10);
    }
    c.machine = &machine;
    c.stamp = stamp;
  }
  return c.bytes[static_cast<size_t>(index)];
}

// Bytes of the regular files below the open folder `dir_fd`, links not followed.
std::uint64_t CountUse(int dir_fd) {
  UniqueFd fd(::openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return 0;
  DIR* dir = ::fdopendir(fd.get());
  if (dir == nullptr) return 0;
  const int own = fd.release();
  std::uint64_t total = 0;
  while (dirent* e = ::readdir(dir)) {
    const std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::fstatat(own, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(st.st_mode)) {
      total += static_cast<std::uint64_t>(st.st_size);
    } else if (S_ISDIR(st.st_mode)) {
      UniqueFd sub(::openat(own, e->d_name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (sub.valid()) total += CountUse(sub.get());
    }
  }
  ::closedir(dir);
  return total;
}

std::uint64_t CountDriveUse(const Machine& machine, char drive) {
  UniqueFd root(
      ::open(machine.DriveFolder(drive).c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  return root.valid() ? CountUse(root.get()) : 0;
}

// The shared record of a drive's use, "<machine.ini stamp> <bytes used>", locked while open.
class UseRecord {
 public:
  UseRecord(const Machine& machine, char drive) {
    const std::filesystem::path run = machine.Root() / "run";
    ::mkdir(run.c_str(), 0755);
    const std::string name = std::string("capacity-") + static_cast<char>('A' + DriveIndex(drive));
    fd_.reset(::open((run / name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (fd_.valid()) ::flock(fd_.get(), LOCK_EX);
  }
  ~UseRecord() {
    if (fd_.valid()) ::flock(fd_.get(), LOCK_UN);
  }
  bool valid() const { return fd_.valid(); }

  // The bytes used, when the record was made under machine.ini `stamp`.
  bool Read(std::int64_t stamp, std::uint64_t& used) const {
    char text[64] = {};
    const ssize_t n = ::pread(fd_.get(), text, sizeof text - 1, 0);
    if (n <= 0) return false;
    std::int64_t recorded_stamp = 0;
    std::uint64_t recorded_used = 0;
    if (std::sscanf(text, "%" SCNd64 " %" SCNu64, &recorded_stamp, &recorded_used) != 2)
      return false;
    if (recorded_stamp != stamp) return false;
    used = recorded_used;
    return true;
  }
  void Write(std::int64_t stamp, std::uint64_t used) const {
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%" PRId64 " %" PRIu64 "\n", stamp, used);
    if (::ftruncate(fd_.get(), 0) == 0) (void)!::pwrite(fd_.get(), text, static_cast<size_t>(n), 0);
  }

 private:
  UniqueFd fd_;
};

}  // namespace

bool DriveHasCapacity(char drive) {
  auto machine = Machine::Current();
  return machine && CapacityOf(*machine, drive, nullptr) != 0;
}

DWORD ChargeDrive(char drive, std::int64_t delta) {
  auto machine = Machine::Current();
  if (!machine || delta == 0) return ERROR_SUCCESS;
  std::int64_t stamp = 0;
  const std::uint64_t capacity = CapacityOf(*machine, drive, &stamp);
  if (capacity == 0) return ERROR_SUCCESS;
  UseRecord record(*machine, drive);
  if (!record.valid()) return ERROR_SUCCESS;  // the run folder is unusable: no limit
  std::uint64_t used = 0;
  bool counted = false;
  if (!record.Read(stamp, used)) {
    used = CountDriveUse(*machine, drive);
    counted = true;
  }
  const auto fits = [&] {
    return delta < 0 || (used <= capacity && static_cast<std::uint64_t>(delta) <= capacity - used);
  };
  if (!fits() && !counted) {
    // Space may have been freed beside w98: refuse only on a fresh count.
    used = CountDriveUse(*machine, drive);
    counted = true;
  }
  if (!fits()) {
    if (counted) record.Write(stamp, used);
    return ERROR_DISK_FULL;
  }
  if (delta < 0) {
    const auto freed = static_cast<std::uint64_t>(-delta);
    used = freed > used ? 0 : used - freed;
  } else {
    used += static_cast<std::uint64_t>(delta);
  }
  record.Write(stamp, used);
  return ERROR_SUCCESS;
}

char DriveOfHostPath(const std::filesystem::path& host) {
  auto machine = Machine::Current();
  if (!machine) return '\0';
  const std::filesystem::path relative =
      host.lexically_normal().lexically_relative(machine->Root());
  if (relative.empty()) return '\0';
  const std::string first = relative.begin()->string();
  if (first.size() != 1 || DriveIndex(first[0]) < 0 || first[0] < 'a') return '\0';
  return static_cast<char>(first[0] - 32);
}

DWORD ChargeFileRewrite(const std::filesystem::path& host_file, std::uint64_t new_size) {
  const char drive = DriveOfHostPath(host_file);
  if (drive == '\0' || !DriveHasCapacity(drive)) return ERROR_SUCCESS;
  struct stat st {};
  const std::uint64_t old_size = ::lstat(host_file.c_str(), &st) == 0 && S_ISREG(st.st_mode)
                                     ? static_cast<std::uint64_t>(st.st_size)
                                     : 0;
  return ChargeDrive(drive,
                     static_cast<std::int64_t>(new_size) - static_cast<std::int64_t>(old_size));
}

DWORD QueryDriveSpace(char drive, DriveSpace& out) {
  out = DriveSpace{};
  auto machine = Machine::Current();
  if (!machine || DriveIndex(drive) < 0) return ERROR_PATH_NOT_FOUND;
  struct statvfs vfs {};
  if (::statvfs(machine->DriveFolder(drive).c_str(), &vfs) != 0) return ERROR_PATH_NOT_FOUND;
  const std::uint64_t host_free = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  out.total = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
  out.free = host_free;
  std::int64_t stamp = 0;
  const std::uint64_t capacity = CapacityOf(*machine, drive, &stamp);
  if (capacity == 0) return ERROR_SUCCESS;
  UseRecord record(*machine, drive);
  const std::uint64_t used = CountDriveUse(*machine, drive);
  if (record.valid()) record.Write(stamp, used);
  out.total = capacity;
  const std::uint64_t left = used >= capacity ? 0 : capacity - used;
  out.free = left < host_free ? left : host_free;
  return ERROR_SUCCESS;
}

}  // namespace w98::internal
