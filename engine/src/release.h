// Taking a snapshot out of the catalogue: the steps that a delete runs, and that a save under a
// name the snapshot list already holds runs first, so the list never names a snapshot twice and
// no stored version keeps a reference that nothing can remove.
#ifndef SNAPSHOT_SRC_RELEASE_H
#define SNAPSHOT_SRC_RELEASE_H

#include <string>
#include <string_view>

namespace snapshot {

// For every file key of the snapshot's control key (kernel files first): removes the first
// `name` from the version's reference list and rewrites the list in order; a version left with
// no reference loses its stored copy (attributes cleared, then deleted; failures ignored) and
// its section, and leaves the Index list. Gaps in the file lists (empty keys) are skipped.
// False when a catalogue write failed.
bool ReleaseSnapshotReferences(std::string_view name);

// Removes the first `name` from the snapshot list, the others keeping their order without gaps;
// *last receives the last name left ("" when none). False when a catalogue write failed.
bool RemoveFromSnapshotList(std::string_view name, std::string* last);

// True when the snapshot list names `name` (exact comparison).
bool SnapshotListed(std::string_view name);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_RELEASE_H
