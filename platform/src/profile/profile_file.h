// A profile (.INI) file of the machine, read and replaced whole through w98's file layer (so
// read-only attributes, the archive bit, write times on the machine's clock and the drive's
// capacity all hold; a reader sees the old or the new file, never a torn one), each
// read-modify-write under a host lock shared by every process of the machine, so that two
// writers never lose each other's keys.
#ifndef W98_SRC_PROFILE_PROFILE_FILE_H
#define W98_SRC_PROFILE_PROFILE_FILE_H

#include <functional>
#include <optional>
#include <string>

#include "core/ini_document.h"
#include "w98/windef.h"

namespace w98::internal {

// The DOS path of a profile file name: a name without a folder ("sswizard.ini") is in the
// Windows folder; NULL means WIN.INI. nullopt when there is no machine.
std::optional<std::string> ProfilePath(const char* file_name);

// The file parsed; an empty document when it is missing or unreadable.
IniDocument ReadProfile(const std::string& dos_path);

// Reads the file, lets `change` edit it, and writes it back when the edit changed anything,
// all under the file's lock. A file that does not exist and stays empty is not created.
// Returns ERROR_SUCCESS, or the error of the write (ERROR_ACCESS_DENIED for a read-only file,
// ERROR_DISK_FULL when the new contents do not fit), the file then left as it was.
DWORD UpdateProfile(const std::string& dos_path, const std::function<void(IniDocument&)>& change);

}  // namespace w98::internal

#endif  // W98_SRC_PROFILE_PROFILE_FILE_H
