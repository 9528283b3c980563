// Names for new snapshots, made as the wizard makes them: today's stamp "yyyymmdd", ".S" and
// the day's next number in upper-case hexadecimal ("20240131.S01").
#ifndef QUILLOW_APP_CLI_SNAPSHOT_NAMING_H
#define QUILLOW_APP_CLI_SNAPSHOT_NAMING_H

#include <string>
#include <vector>

#include "records.h"

namespace quillow {

// Among the valid snapshots whose name contains `prefix` (ignoring case), the largest number
// read from the name's characters 11 and 12 as hexadecimal (0 when unreadable), plus one, in
// upper-case hexadecimal with a leading "0" below 16. "01" when there is none.
std::string NextSnapshotNumber(const std::vector<SnapshotInfo>& snapshots,
                               const std::string& prefix);

// Today's stamp on the machine's clock, "yyyymmdd".
std::string TodayStamp();

}  // namespace quillow

#endif  // QUILLOW_APP_CLI_SNAPSHOT_NAMING_H
