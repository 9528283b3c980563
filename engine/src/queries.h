// The six catalogue queries: read only, on the caller's thread, filling caller-sized buffers
// with fixed-layout records. Text fields hold at most 259 characters and a NUL; a longer
// catalogue text is cut, and nothing is written past a field.
#ifndef SNAPSHOT_SRC_QUERIES_H
#define SNAPSHOT_SRC_QUERIES_H

#include <string_view>

#include "snapshot/snapshot.h"

namespace snapshot {

LONG QuerySnapshotCount();
LONG QuerySnapshots(std::string_view name, SSImgRecord* buffer);
LONG QuerySnapshotFileCount(std::string_view name);
LONG QuerySnapshotFiles(SSFileRecord* buffer, std::string_view name);
LONG QueryStoredVersionCount();
LONG QueryStoredVersions(std::string_view filter, SSFileRecord* buffer);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_QUERIES_H
