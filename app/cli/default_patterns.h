// The backup patterns an installation provisions: what a Windows 98 machine needs to start
// and run as it did.
#ifndef QUILLOW_APP_CLI_DEFAULT_PATTERNS_H
#define QUILLOW_APP_CLI_DEFAULT_PATTERNS_H

#include <string>
#include <vector>

namespace quillow {

struct BackupPatterns {
  std::vector<std::string> root;     // full paths, "C:\AUTOEXEC.BAT"
  std::vector<std::string> windows;  // relative to the Windows folder, "\SYSTEM.INI"
};

BackupPatterns DefaultPatterns();

// Reads a pattern list: one pattern a line; "X:\..." is a root pattern, "\..." one below the
// Windows folder; blank lines and lines starting with "#" or ";" are skipped. False (with the
// line number in *error) for any other line.
bool ParsePatterns(const std::string& text, BackupPatterns* patterns, std::string* error);

}  // namespace quillow

#endif  // QUILLOW_APP_CLI_DEFAULT_PATTERNS_H
