// The capacity of the machine's drives, so that tests can fill a disk.
//
// machine.ini may give a drive a capacity in bytes ([capacity] C=<bytes>; 0 or missing: no
// limit beyond the host's own free space). A drive with a capacity keeps a record of the bytes
// its files use, shared by every process of the machine (run/capacity-<letter>, changed under a
// lock): it is counted afresh from the drive's files when first needed, whenever machine.ini
// has changed, at every free-space query, and before a write is refused; in between, every
// write through w98 charges its growth to it. Space taken or freed beside w98 is thus seen at
// the next count.
//
// Every w98 module that writes files on a drive (the C runtime, CopyFileA, profile files,
// registry hives) charges its writes here before making them. All functions may be called from
// any thread.
#ifndef W98_SRC_FS_CAPACITY_H
#define W98_SRC_FS_CAPACITY_H

#include <cstdint>
#include <filesystem>

#include "w98/windef.h"

namespace w98::internal {

// True when machine.ini gives `drive` a capacity. Costs one stat of machine.ini.
bool DriveHasCapacity(char drive);

// Records `delta` more bytes used on `drive` (fewer when negative). Returns ERROR_SUCCESS, or
// ERROR_DISK_FULL, recording nothing, when the drive's capacity would be passed. A drive
// without a capacity: ERROR_SUCCESS at once.
DWORD ChargeDrive(char drive, std::int64_t delta);

// The drive letter ('A' to 'Z') of a host path inside the current machine's drive folders,
// or '\0' when it lies elsewhere.
char DriveOfHostPath(const std::filesystem::path& host);

// Charges the rewrite of a whole file: from its present size (0 when it does not exist) to
// `new_size` bytes. For writers that replace a file at once (profile files, hives) and know
// only its host path. A path outside the drives is never charged.
DWORD ChargeFileRewrite(const std::filesystem::path& host_file, std::uint64_t new_size);

struct DriveSpace {
  std::uint64_t total = 0;
  std::uint64_t free = 0;
};

// Total and free bytes of a drive: the host's figures for the drive's folder, and for a drive
// with a capacity, the capacity and what is left of it (never more than the host has free).
// Counts the drive's use afresh. ERROR_PATH_NOT_FOUND when the drive does not exist.
DWORD QueryDriveSpace(char drive, DriveSpace& out);

}  // namespace w98::internal

#endif  // W98_SRC_FS_CAPACITY_H
