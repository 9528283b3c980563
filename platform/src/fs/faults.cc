// Fault switches, kept in MACHINE/run/faults.ini:
//   [copy]
//   countdown=<copies still to come before the failing one; 1 = the next>
//   error=<the Win32 error of the failing copy>
// changed only under a lock of the file itself, so processes never lose each other's counts.
#include "fs/faults.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

unsigned ReadUnsigned(const IniDocument& doc, std::string_view section, std::string_view key) {
  auto value = doc.Get(section, key);
  return value ? static_cast<unsigned>(std::strtoul(value->c_str(), nullptr, 10)) : 0;
}

}  // namespace

DWORD TakeCopyFault() {
  auto machine = Machine::Current();
  if (!machine) return ERROR_SUCCESS;
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
  if (machine) ::unlinkat(machine->RootFd(), internal::kFaultsFile, 0);
}

}  // namespace w98
