// The machine's drives: GetDriveTypeA, GetLogicalDrives, GetDiskFreeSpaceA,
// GetDiskFreeSpaceExA.
//
// A drive exists when its folder (MACHINE/a, MACHINE/c ...) does; its kind comes from
// machine.ini [drives] (A=removable, C=fixed, D=cdrom ...), else A: and B: are removable, D:
// is a CD-ROM drive and every other letter a fixed disk.
#include <sys/stat.h>

#include <string>

#include "core/api.h"
#include "core/machine.h"
#include "core/text.h"
#include "fs/api_support.h"
#include "fs/capacity.h"

namespace w98::internal {
namespace {

constexpr std::uint64_t kTwoGigabytes = 2ULL * 1024 * 1024 * 1024;
constexpr DWORD kBytesPerSector = 512;
constexpr std::uint64_t kMaxClusters = 65536;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool DriveFolderExists(const Machine& machine, char drive) {
  struct stat st {};
  return ::lstat(machine.DriveFolder(drive).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The drive of a root given as "X:\" (or "X:/"); with `bare_allowed`, "X:" too. NULL names
// the current folder's drive. '\0' for anything else.
char DriveOfRoot(LPCSTR root, bool bare_allowed) {
  if (root == nullptr) return CurrentFolder()[0];
  const std::string_view text(root);
  if (text.size() < 2 || text[1] != ':') return '\0';
  const char letter = FoldCase(text[0]);
  if (letter < 'A' || letter > 'Z') return '\0';
  if (text.size() == 2) return bare_allowed ? letter : '\0';
  return text.size() == 3 && IsSeparator(text[2]) ? letter : '\0';
}

UINT KindOf(const Machine& machine, char drive) {
  const std::string kind = UpperCase(machine.Setting("drives", std::string(1, drive)));
  if (kind.empty()) {
    if (drive == 'A' || drive == 'B') return DRIVE_REMOVABLE;
    return drive == 'D' ? DRIVE_CDROM : DRIVE_FIXED;
  }
  if (kind == "REMOVABLE" || kind == "FLOPPY") return DRIVE_REMOVABLE;
  if (kind == "FIXED") return DRIVE_FIXED;
  if (kind == "CDROM" || kind == "CD-ROM") return DRIVE_CDROM;
  if (kind == "REMOTE") return DRIVE_REMOTE;
  if (kind == "RAMDISK") return DRIVE_RAMDISK;
  return DRIVE_UNKNOWN;
}

}  // namespace
}  // namespace w98::internal

using namespace w98::internal;

W98API UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName) {
  EnterCall();
  auto machine = Machine::Current();
  const char drive = DriveOfRoot(lpRootPathName, true);
  if (!machine || drive == '\0' || !DriveFolderExists(*machine, drive)) return DRIVE_NO_ROOT_DIR;
  return KindOf(*machine, drive);
}

W98API DWORD WINAPI GetLogicalDrives(void) {
  EnterCall();
  auto machine = Machine::Current();
  if (!machine) return 0;
  DWORD drives = 0;
  for (char drive = 'A'; drive <= 'Z'; ++drive)
    if (DriveFolderExists(*machine, drive)) drives |= 1u << (drive - 'A');
  return drives;
}

W98API BOOL WINAPI GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster,
                                     LPDWORD lpBytesPerSector, LPDWORD lpNumberOfFreeClusters,
                                     LPDWORD lpTotalNumberOfClusters) {
  EnterCall();
  // Windows 98 wants a root with its backslash ("C:\").
  const char drive = DriveOfRoot(lpRootPathName, false);
  if (drive == '\0') return FailWith(ERROR_INVALID_NAME);
  DriveSpace space;
  const DWORD error = QueryDriveSpace(drive, space);
  if (error != ERROR_SUCCESS) return FailWith(error);
  // Windows 98 reports at most 2 GB of either, in at most 65536 clusters; the cluster is the
  // smallest that keeps the total within that count, as FAT chooses it.
  const std::uint64_t total = space.total < kTwoGigabytes ? space.total : kTwoGigabytes;
  const std::uint64_t free = space.free < total ? space.free : total;
  DWORD sectors = 1;
  while (sectors < 64 &&
         total / (static_cast<std::uint64_t>(sectors) * kBytesPerSector) > kMaxClusters)
    sectors *= 2;
  const std::uint64_t cluster = static_cast<std::uint64_t>(sectors) * kBytesPerSector;
  if (lpSectorsPerCluster) *lpSectorsPerCluster = sectors;
  if (lpBytesPerSector) *lpBytesPerSector = kBytesPerSector;
  if (lpNumberOfFreeClusters) *lpNumberOfFreeClusters = static_cast<DWORD>(free / cluster);
  if (lpTotalNumberOfClusters) *lpTotalNumberOfClusters = static_cast<DWORD>(total / cluster);
  return TRUE;
}

W98API BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR lpDirectoryName,
                                       PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                                       PULARGE_INTEGER lpTotalNumberOfBytes,
                                       PULARGE_INTEGER lpTotalNumberOfFreeBytes) {
  EnterCall();
  // Any folder of the drive will do.
  Location where;
  const DWORD error = LocateArgument(lpDirectoryName == nullptr ? "." : lpDirectoryName, where);
  if (error != ERROR_SUCCESS) return FailWith(error);
  if (!where.IsDirectory()) return FailWith(where.exists ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND);
  DriveSpace space;
  const DWORD space_error = QueryDriveSpace(where.drive, space);
  if (space_error != ERROR_SUCCESS) return FailWith(space_error);
  // Windows 98 has no quotas: what the caller may use is all that is free.
  if (lpFreeBytesAvailableToCaller) lpFreeBytesAvailableToCaller->QuadPart = space.free;
  if (lpTotalNumberOfBytes) lpTotalNumberOfBytes->QuadPart = space.total;
  if (lpTotalNumberOfFreeBytes) lpTotalNumberOfFreeBytes->QuadPart = space.free;
  return TRUE;
}
