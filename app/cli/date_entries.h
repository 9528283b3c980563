// The settings that hold snapshot names, kept in step when a date fixing renames snapshots.
#ifndef QUILLOW_APP_CLI_DATE_ENTRIES_H
#define QUILLOW_APP_CLI_DATE_ENTRIES_H

#include <string>
#include <utility>
#include <vector>

namespace quillow {

// For each (old, new) pair in order, as the main program does after a date fixing: in
// "restoreimage", "latestss" and "latestscheduless" of section [snapshot] of the store's
// sswizard.ini, the first occurrence of old (found ignoring case) becomes new; for a scheduled
// snapshot (old ends with "00") the first occurrence of old's date (its first eight characters)
// in the rotation lists "daily", "weekly" and "monthly" becomes new's date. Only the keys that
// changed are written. False when a write failed.
bool RenameDateEntries(const std::vector<std::pair<std::string, std::string>>& pairs);

}  // namespace quillow

#endif  // QUILLOW_APP_CLI_DATE_ENTRIES_H
