// Snapshot names: "yyyymmdd.Snn", whose character at index 9 is replaced by 'B', 'W' and 'D' to
// name the snapshot's three batch files.
#ifndef SNAPSHOT_SRC_SNAPSHOT_NAMES_H
#define SNAPSHOT_SRC_SNAPSHOT_NAMES_H

#include <string>
#include <string_view>

namespace snapshot {

// A name the engine can work with: at least ten characters (so that index 9 exists) and no
// character that would make its control key or its batch files land elsewhere (backslash,
// slash, colon, wildcard, quote, angle brackets, bar, control characters).
bool IsUsableSnapshotName(std::string_view name);

// The name with `letter` at index 9 (the name must be usable).
std::string BatchFileName(std::string_view name, char letter);

// True when the name's last two characters are "00" (the day's scheduled snapshot).
bool IsScheduledName(std::string_view name);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_SNAPSHOT_NAMES_H
