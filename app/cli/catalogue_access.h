// Direct access to the engine's catalogue in the registry, for what the engine's exports do not
// cover: the installation writes the provisioned backup patterns, and the store check reads the
// whole catalogue. Reads never create keys.
#ifndef QUILLOW_APP_CLI_CATALOGUE_ACCESS_H
#define QUILLOW_APP_CLI_CATALOGUE_ACCESS_H

#include <optional>
#include <string>
#include <vector>

namespace quillow::catalogue {

// "Software\Zemo\Snapshot" below HKEY_CURRENT_USER.
extern const char kRoot[];

// A value of (profile, section), or nothing when the key or value is missing.
std::optional<int> ReadInt(const std::string& profile, const std::string& section,
                           const std::string& value);
std::optional<std::string> ReadText(const std::string& profile, const std::string& section,
                                    const std::string& value);
// A numbered list read as the engine reads it: the count value, then values numbered from
// `first`; missing values give empty text.
std::vector<std::string> ReadList(const std::string& profile, const std::string& section,
                                  const std::string& count_value, const std::string& prefix,
                                  int first);
bool KeyExists(const std::string& profile, const std::string& section = {});
// The names of the sections of a profile.
std::vector<std::string> Sections(const std::string& profile);

// Writes create the keys they need; false when the registry refused.
bool WriteInt(const std::string& profile, const std::string& section, const std::string& value,
              int number);
bool WriteText(const std::string& profile, const std::string& section, const std::string& value,
               const std::string& text);
bool DeleteSection(const std::string& profile, const std::string& section);
bool Flush();

}  // namespace quillow::catalogue

#endif  // QUILLOW_APP_CLI_CATALOGUE_ACCESS_H
