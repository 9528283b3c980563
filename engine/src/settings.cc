#include "settings.h"

#include <w98/windows.h>

namespace snapshot {

Settings::Settings(std::string_view store) : path_(std::string(store) + "sswizard.ini") {}

int Settings::ReadInt(const char* key, int fallback) const {
  return static_cast<int>(GetPrivateProfileIntA(setting::kSection, key, fallback, path_.c_str()));
}

bool Settings::Write(const char* key, std::string_view value) const {
  const std::string text(value);
  return WritePrivateProfileStringA(setting::kSection, key, text.c_str(), path_.c_str()) != FALSE;
}

}  // namespace snapshot
