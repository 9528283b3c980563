// The settings file "sswizard.ini" in the store folder, section [snapshot], shared with the
// main program.
#ifndef SNAPSHOT_SRC_SETTINGS_H
#define SNAPSHOT_SRC_SETTINGS_H

#include <string>
#include <string_view>

namespace snapshot {

class Settings {
 public:
  // `store` ends with a backslash; the file is store + "sswizard.ini", no separator added.
  explicit Settings(std::string_view store);

  int ReadInt(const char* key, int fallback) const;
  // The result of the profile write is not checked by callers that only keep the caller's
  // scheduler informed; it is returned for those that care.
  bool Write(const char* key, std::string_view value) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

namespace setting {
inline constexpr char kSection[] = "snapshot";
inline constexpr char kDoRestore[] = "DoRestore";
inline constexpr char kLatest[] = "latestss";
inline constexpr char kLatestTime[] = "latestsstime";
inline constexpr char kLatestScheduled[] = "latestscheduless";
inline constexpr char kLatestScheduledTime[] = "latestschedulesstime";
}  // namespace setting

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_SETTINGS_H
