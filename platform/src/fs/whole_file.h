// Whole-file reads and writes on the machine's drives for w98's own modules (profile files,
// settings written by the machine's programs): a write through these behaves as every w98
// write does.
#ifndef W98_SRC_FS_WHOLE_FILE_H
#define W98_SRC_FS_WHOLE_FILE_H

#include <string>
#include <string_view>

#include "w98/windef.h"

namespace w98::internal {

// Reads the file at a DOS path. ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when missing
// (also for a file w98 keeps out of sight), ERROR_ACCESS_DENIED for a folder or a link.
DWORD ReadWholeFile(std::string_view dos_path, std::string& bytes);

// Replaces (or creates) the file at a DOS path with `bytes`. A read-only file is refused
// (ERROR_ACCESS_DENIED); the drive is charged the change in size (ERROR_DISK_FULL when it does
// not fit, changing nothing). The new bytes go to a temporary file beside the old one and are
// renamed into place, so another process reads either the old or the new file, never a torn
// one. The file keeps its attributes and gains the archive bit; its last-write time is the
// machine's clock. A new file is created in the spelling given. Callers that need writers
// of one file to take turns hold their own lock around read-modify-write.
DWORD ReplaceWholeFile(std::string_view dos_path, std::string_view bytes);

}  // namespace w98::internal

#endif  // W98_SRC_FS_WHOLE_FILE_H
