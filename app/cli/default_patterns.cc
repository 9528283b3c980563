#include "default_patterns.h"

#include <cctype>
#include <sstream>

namespace quillow {

BackupPatterns DefaultPatterns() {
  BackupPatterns patterns;
  // Start-up files of drive C:.
  patterns.root = {"C:\\AUTOEXEC.BAT", "C:\\CONFIG.SYS", "C:\\MSDOS.SYS"};
  patterns.windows = {
      // The registry hives and the settings files of Windows.
      "\\SYSTEM.DAT",
      "\\USER.DAT",
      "\\SYSTEM.INI",
      "\\WIN.INI",
      "\\CONTROL.INI",
      "\\PROTOCOL.INI",
      // Drivers and libraries of the system folder.
      "\\SYSTEM\\*.DRV",
      "\\SYSTEM\\*.DLL",
      "\\SYSTEM\\*.VXD",
      "\\SYSTEM\\*.386",
      "\\SYSTEM\\*.SYS",
      "\\SYSTEM\\*.CPL",
      // Long-named files of the Windows folder, restored in the Windows phase.
      "\\ShellIconCache",
      "\\Start Menu\\Programs\\StartUp\\*.*",
  };
  return patterns;
}

bool ParsePatterns(const std::string& text, BackupPatterns* patterns, std::string* error) {
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    line = line.substr(start);
    if (line[0] == '#' || line[0] == ';') continue;
    const bool drive = line.size() >= 3 && std::isalpha(static_cast<unsigned char>(line[0])) &&
                       line[1] == ':' && line[2] == '\\';
    if (drive) {
      patterns->root.push_back(line);
    } else if (line[0] == '\\') {
      patterns->windows.push_back(line);
    } else {
      *error = "line " + std::to_string(number) +
               ": a pattern is a full path (C:\\FILE) or a path below the Windows folder "
               "starting with a backslash (\\SYSTEM.INI): " +
               line;
      return false;
    }
  }
  return true;
}

}  // namespace quillow
