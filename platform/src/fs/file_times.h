// Last-write times of files on the machine's drives.
//
// Drive C: behaves as a FAT drive of Windows 98: write times have a resolution of two
// seconds, so w98 reports a host modification time rounded down to an even second. A file
// that w98 writes (other than by a copy, which keeps its source's time) is stamped with the
// machine's clock, not the host's.
#ifndef W98_SRC_FS_FILE_TIMES_H
#define W98_SRC_FS_FILE_TIMES_H

#include <sys/stat.h>

#include "w98/windef.h"

namespace w98::internal {

// The last-write time of an entry as FindFirstFileA reports it (UTC FILETIME).
FILETIME ReportedWriteTime(const struct stat& st);

// Sets the modification time of an open file (any descriptor but O_PATH) to the machine's
// clock now. Returns ERROR_SUCCESS or a Win32 error.
DWORD StampWithMachineClock(int fd);

}  // namespace w98::internal

#endif  // W98_SRC_FS_FILE_TIMES_H
