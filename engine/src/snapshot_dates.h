// The date a snapshot's name begins with, and the name it gets when its date is moved back.
#ifndef SNAPSHOT_SRC_SNAPSHOT_DATES_H
#define SNAPSHOT_SRC_SNAPSHOT_DATES_H

#include <optional>
#include <string>
#include <string_view>

#include <w98/time.h>

namespace snapshot {

// Local midnight of the date "yyyymmdd" in the name's first eight characters, daylight saving
// decided by the machine's time zone. Empty when the name is shorter than eight characters,
// they are not all digits, or the date cannot be represented.
std::optional<__time64_t> NameDate(std::string_view name);

// The name re-dated to the local date of `when`: "yyyymmdd" of that date followed by the
// characters of `name` after its eighth, unchanged. Empty when `when` has no local date or the
// name is shorter than eight characters.
std::string RedatedName(std::string_view name, __time64_t when);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_SNAPSHOT_DATES_H
