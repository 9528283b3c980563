#include "restore_settings.h"

#include <w98/windows.h>

#include "cli.h"

namespace quillow {

bool RecordPendingRestore(const std::string& name) {
  const std::string file = std::string(kStoreFolder) + "sswizard.ini";
  const std::pair<const char*, std::string> values[] = {
      {"restoress", "1"}, {"restoreimage", name}, {"restart", "1"}, {"DoRestore", "1"}};
  bool all = true;
  for (const auto& [key, value] : values)
    all = WritePrivateProfileStringA("snapshot", key, value.c_str(), file.c_str()) != FALSE && all;
  return all;
}

bool RestoreAwaitsRestart() {
  const std::string store = kStoreFolder;
  const std::string file = store + "sswizard.ini";
  const auto exists = [](const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  };
  if (GetPrivateProfileIntA("snapshot", "DoRestore", 0, file.c_str()) != 1) return false;
  if (!exists("c:\\windows\\temp\\rb.bat")) return false;
  return GetPrivateProfileIntA("snapshot", "restoress", 0, file.c_str()) == 1 ||
         exists(store + "_rfbob.sav");
}

std::string RestartSwitchOf(int mode) {
  return mode == 0 ? "/QH" : mode == 2 ? "/QL" : "/QN";
}

}  // namespace quillow
