// Helpers shared by the maker's companion programs (trestore, qlreboot, zemoqlb).
#ifndef COMPANION_SUPPORT_H
#define COMPANION_SUPPORT_H

#include <string>

namespace companion {

// The DOS folder of the running program, with a trailing backslash (for example the store
// "C:\WINDOWS\ZEMO\SNAPSHOT\" for trestore), as GetModuleFileNameA reports it for a program started
// through its stub on a drive of the machine. "" when the program was started some other way (its
// module name is then a host path, which is no folder of the machine).
std::string ProgramFolder();

// The machine's Windows folder without a trailing backslash ("C:\WINDOWS").
std::string WindowsFolder();

// The machine clock's local time as "YYYY-MM-DD HH:MM:SS".
std::string LocalTimestamp();

// Writes `text` to the DOS file `path` in text mode ('\n' becomes CR LF), creating it or
// replacing what it held (append = false) or adding to its end (append = true). False when
// the file cannot be opened or fully written.
bool WriteTextFile(const std::string& path, const std::string& text, bool append);

}  // namespace companion

#endif  // COMPANION_SUPPORT_H
