// What the file, process and session layers ask of the registry storage.
#ifndef W98_SRC_REGISTRY_STORAGE_HOOKS_H
#define W98_SRC_REGISTRY_STORAGE_HOOKS_H

#include <sys/stat.h>

#include <filesystem>
#include <string_view>

#include "w98/windef.h"

namespace w98::internal {

// True when `name` (a file name inside a drive folder) is a helper file that the registry
// storage keeps beside a hive; such files are never listed and cannot be opened through w98.
bool IsRegistryHelperFile(std::string_view name);

// True when the file of `st` is a hive that this process has open, or one that it is copying
// right now: such a file must not be opened with a plain descriptor (closing that descriptor
// would drop the locks SQLite holds on it), so CopyFileA hands it to CopyHiveConsistently.
bool HiveFileInUse(const struct stat& st);

// True when the open file `fd` (of status `st`) begins as an SQLite database does: it may be a
// hive that another process writes, so CopyFileA hands it to CopyHiveConsistently instead of
// copying its bytes. A database holds a whole number of pages of at least 512 bytes, so a file
// of any other size is answered without reading it.
bool HasDatabaseHeader(int fd, const struct stat& st);

// CopyFileA asks this for every source that may be a hive. When `source` is a hive that may be
// open, the storage writes a complete, openable copy of it as of one moment to `target` (a new host
// file), sets *error (ERROR_SUCCESS on success) and returns true; otherwise returns false and
// the caller copies the bytes itself.
bool CopyHiveConsistently(const std::filesystem::path& source, const std::filesystem::path& target,
                          DWORD* error);

// Called before a file is replaced, deleted or renamed over through w98. When `target` is a
// hive, the storage drops whatever it keeps beside it, so that the new file is what the next
// program sees.
void BeforeHiveReplaced(const std::filesystem::path& target);

// Makes every registry write of this process durable and visible to other processes (before a
// program is started, and when the session ends).
void FlushAllHives();

// Makes every registry write of this process durable and then lets go of every hive file, so
// that this process holds none of them open (before the DOS phase of a boot, whose batch lines
// may replace or rewrite the hives). The next registry call opens the file again and reads it
// afresh. Thread-safe.
void ReleaseAllHives();

}  // namespace w98::internal

#endif  // W98_SRC_REGISTRY_STORAGE_HOOKS_H
