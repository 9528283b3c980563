#include "profile/profile_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "core/machine.h"
#include "core/text.h"
#include "fs/whole_file.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

// An exclusive host lock on a file of the run folder named after the profile's DOS path
// (upper case, so every spelling of one file shares it), held by one read-modify-write at a
// time in any process of the machine.
class ProfileLock {
 public:
  explicit ProfileLock(const std::string& dos_path) {
    auto machine = Machine::Current();
    if (!machine) return;
    std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a
    for (char c : UpperCase(dos_path)) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ULL;
    }
    const std::filesystem::path folder = machine->RunFolder() / "profile-locks";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.lock", static_cast<unsigned long long>(hash));
    fd_ = ::open((folder / name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~ProfileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  ProfileLock(const ProfileLock&) = delete;
  ProfileLock& operator=(const ProfileLock&) = delete;

 private:
  int fd_ = -1;
};

bool HasFolder(const std::string& name) {
  return name.find_first_of("\\/:") != std::string::npos;
}

}  // namespace

std::optional<std::string> ProfilePath(const char* file_name) {
  auto machine = Machine::Current();
  if (!machine) return std::nullopt;
  const std::string name = file_name != nullptr ? file_name : "WIN.INI";
  if (HasFolder(name)) return name;
  return machine->WindowsFolder() + "\\" + name;
}

IniDocument ReadProfile(const std::string& dos_path) {
  // Files are replaced whole (renamed into place), so a reader needs no lock.
  std::string bytes;
  if (ReadWholeFile(dos_path, bytes) != ERROR_SUCCESS) bytes.clear();
  return IniDocument::Parse(bytes);
}

DWORD UpdateProfile(const std::string& dos_path, const std::function<void(IniDocument&)>& change) {
  const ProfileLock lock(dos_path);
  std::string bytes;
  if (ReadWholeFile(dos_path, bytes) != ERROR_SUCCESS) bytes.clear();
  IniDocument doc = IniDocument::Parse(bytes);
  const std::string before = doc.Serialize();
  change(doc);
  const std::string after = doc.Serialize();
  if (after == before) return ERROR_SUCCESS;  // nothing changed: the file is not touched
  return ReplaceWholeFile(dos_path, after);
}

}  // namespace w98::internal
