// The consistency check of the catalogue, the roll-backs of interrupted operations, and the
// catalogue's return after a whole-snapshot restore. All run on the caller's thread.
#ifndef SNAPSHOT_SRC_CONSISTENCY_H
#define SNAPSHOT_SRC_CONSISTENCY_H

#include <string>

#include <w98/windows.h>

namespace snapshot {

// 0 when cref.tab, snapshot.ini and the last listed snapshot are all marked valid; otherwise
// 1013 (a save was under way), 1012 (a delete), 1011 (a date fixing) or 1007 (none recorded).
// Changes nothing in the catalogue.
LONG CheckConsistency();

// Clears the save mark (DoSave = 0); the partly saved snapshot stays listed. Returns 0.
LONG RollBackSave();

// Puts the master profile and the reference table back from store + "snapshot.sav" and
// "cref.sav". Deletes nothing unless both files are registry scripts, since a deleted catalogue
// that nothing replaces loses every snapshot and the provisioned patterns. Returns 0.
LONG RollBackDelete(const std::string& store);

// Puts the whole catalogue back from store + "fixall.sav", puts the old batch folder back when
// the interrupted run had already moved it to store + "oldbatch", and removes store +
// "newbatch".
// 1015 (nothing deleted) when the file is not a registry script or the import cannot start,
// 1014 when the catalogue key cannot be deleted, else 0.
LONG RollBackFixDates(const std::string& store);

// After a restore put back old registry hives: replaces the catalogue they brought back with
// store + "alltabs.sav", when that file is a registry script (otherwise the catalogue is left as
// it is). Returns true when the catalogue was replaced.
bool RestoreCatalogueFromBackup(const std::string& store);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_CONSISTENCY_H
