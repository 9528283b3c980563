#include "date_entries.h"

#include <algorithm>
#include <cctype>
#include <map>

#include <w98/windows.h>

#include "cli.h"

namespace quillow {
namespace {

constexpr char kSection[] = "snapshot";
const char* const kNameKeys[] = {"restoreimage", "latestss", "latestscheduless"};
const char* const kListKeys[] = {"daily", "weekly", "monthly"};

std::string SettingsFile() {
  return std::string(kStoreFolder) + "sswizard.ini";
}

std::string ReadSetting(const char* key) {
  char buffer[4096] = {};
  GetPrivateProfileStringA(kSection, key, "", buffer, sizeof buffer, SettingsFile().c_str());
  return buffer;
}

// Replaces the first occurrence of `from` (ignoring case) by `to`; false when there is none.
bool ReplaceFirst(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return false;
  const auto it =
      std::search(text.begin(), text.end(), from.begin(), from.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
      });
  if (it == text.end()) return false;
  text.replace(static_cast<size_t>(it - text.begin()), from.size(), to);
  return true;
}

}  // namespace

bool RenameDateEntries(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::map<std::string, std::string> values;
  for (const char* key : kNameKeys) values[key] = ReadSetting(key);
  for (const char* key : kListKeys) values[key] = ReadSetting(key);
  std::map<std::string, bool> changed;
  for (const auto& [old_name, new_name] : pairs) {
    for (const char* key : kNameKeys)
      if (!values[key].empty() && ReplaceFirst(values[key], old_name, new_name))
        changed[key] = true;
    const bool scheduled = old_name.size() >= 2 && old_name.substr(old_name.size() - 2) == "00";
    if (!scheduled || old_name.size() < 8 || new_name.size() < 8) continue;
    for (const char* key : kListKeys)
      if (!values[key].empty() &&
          ReplaceFirst(values[key], old_name.substr(0, 8), new_name.substr(0, 8)))
        changed[key] = true;
  }
  bool ok = true;
  for (const auto& [key, was_changed] : changed)
    if (was_changed)
      ok = WritePrivateProfileStringA(kSection, key.c_str(), values[key].c_str(),
                                      SettingsFile().c_str()) != FALSE &&
           ok;
  return ok;
}

}  // namespace quillow
