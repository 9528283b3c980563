// Fault switches, kept in MACHINE/run/faults.ini:
//   [copy]
//   countdown=<copies still to come before the failing one; 1 = the next>
//   error=<the Win32 error of the failing copy>
// changed only under a lock of the file itself, so processes never lose each other's counts.
// Beside it, run/faults.armed holds one word, mapped by every process that copies, which is
// nonzero while a switch may be set: a copy reads the word instead of looking for the file.
#include "fs/faults.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "core/ini_document.h"
#include "core/machine.h"
#include "fs/unique_fd.h"
#include "w98/faults.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

// Below the machine folder: it is asked at every copy, so one lookup, not a walk from the root.
constexpr const char* kFaultsFile = "run/faults.ini";

// The faults file, opened and locked; `create` makes it when missing.
class LockedFaults {
 public:
  LockedFaults(const Machine& machine, bool create) {
    if (create) ::mkdirat(machine.RootFd(), "run", 0755);
    fd_.reset(::openat(machine.RootFd(), kFaultsFile,
                       O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0644));
    if (!fd_.valid()) return;
    ::flock(fd_.get(), LOCK_EX);
    std::string bytes;
    char buffer[512];
    ssize_t n;
    off_t at = 0;
    while ((n = ::pread(fd_.get(), buffer, sizeof buffer, at)) > 0) {
      bytes.append(buffer, static_cast<size_t>(n));
      at += n;
    }
    doc_ = IniDocument::Parse(bytes);
  }
  ~LockedFaults() {
    if (fd_.valid()) ::flock(fd_.get(), LOCK_UN);
  }
  bool valid() const { return fd_.valid(); }
  IniDocument& doc() { return doc_; }
  void Save() {
    const std::string bytes = doc_.Serialize();
    if (::ftruncate(fd_.get(), 0) == 0) (void)!::pwrite(fd_.get(), bytes.data(), bytes.size(), 0);
  }

 private:
  UniqueFd fd_;
  IniDocument doc_ = IniDocument::Parse("");
};

constexpr const char* kArmedFile = "run/faults.armed";

// The machine's shared word that tells whether a switch may be set, mapped once per machine
// (the mapping is kept for the life of the process); nullptr when it cannot be mapped, and
// then the switches file is looked at every time.
std::atomic<std::uint32_t>* ArmedWord(const std::shared_ptr<Machine>& machine) {
  static std::mutex mutex;
  static std::weak_ptr<Machine> mapped_for;
  static std::atomic<std::uint32_t>* word = nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  if (mapped_for.lock() == machine) return word;
  word = nullptr;
  mapped_for = machine;
  ::mkdirat(machine->RootFd(), "run", 0755);
  const UniqueFd fd(
      ::openat(machine->RootFd(), kArmedFile, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
  constexpr off_t kSize = sizeof(std::uint32_t);
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 ||
      (st.st_size < kSize && ::ftruncate(fd.get(), kSize) != 0))
    return nullptr;
  void* map = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
  static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
  if (map != MAP_FAILED) word = static_cast<std::atomic<std::uint32_t>*>(map);
  return word;
}

// Sets the shared word; called with the switches file locked, so it follows the file.
void MarkArmed(const std::shared_ptr<Machine>& machine, bool armed) {
  if (std::atomic<std::uint32_t>* word = ArmedWord(machine)) word->store(armed ? 1 : 0);
}

unsigned ReadUnsigned(const IniDocument& doc, std::string_view section, std::string_view key) {
  auto value = doc.Get(section, key);
  return value ? static_cast<unsigned>(std::strtoul(value->c_str(), nullptr, 10)) : 0;
}

}  // namespace

DWORD TakeCopyFault() {
  auto machine = Machine::Current();
  if (!machine) return ERROR_SUCCESS;
  const std::atomic<std::uint32_t>* armed = ArmedWord(machine);
  if (armed != nullptr && armed->load() == 0) return ERROR_SUCCESS;
  LockedFaults faults(*machine, false);
  if (!faults.valid()) return ERROR_SUCCESS;
  const unsigned countdown = ReadUnsigned(faults.doc(), "copy", "countdown");
  if (countdown == 0) return ERROR_SUCCESS;
  if (countdown > 1) {
    faults.doc().Set("copy", "countdown", std::to_string(countdown - 1));
    faults.Save();
    return ERROR_SUCCESS;
  }
  const DWORD error = ReadUnsigned(faults.doc(), "copy", "error");
  faults.doc().DeleteSection("copy");
  faults.Save();
  MarkArmed(machine, false);
  return error == ERROR_SUCCESS ? static_cast<DWORD>(ERROR_GEN_FAILURE) : error;
}

}  // namespace w98::internal

namespace w98 {

bool FailNthCopy(unsigned nth, DWORD error) {
  auto machine = internal::Machine::Current();
  if (!machine || nth == 0) return false;
  internal::LockedFaults faults(*machine, true);
  if (!faults.valid()) return false;
  faults.doc().Set("copy", "countdown", std::to_string(nth));
  faults.doc().Set("copy", "error", std::to_string(error));
  faults.Save();
  internal::MarkArmed(machine, true);
  return true;
}

unsigned PendingCopyFault() {
  auto machine = internal::Machine::Current();
  if (!machine) return 0;
  internal::LockedFaults faults(*machine, false);
  return faults.valid() ? internal::ReadUnsigned(faults.doc(), "copy", "countdown") : 0;
}

void ClearFaults() {
  auto machine = internal::Machine::Current();
  if (!machine) return;
  internal::LockedFaults faults(*machine, false);
  internal::MarkArmed(machine, false);
  ::unlinkat(machine->RootFd(), internal::kFaultsFile, 0);
}

}  // namespace w98
