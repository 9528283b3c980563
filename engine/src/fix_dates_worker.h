// The date-fixing worker: moves the dates of every snapshot back by one common amount.
#ifndef SNAPSHOT_SRC_FIX_DATES_WORKER_H
#define SNAPSHOT_SRC_FIX_DATES_WORKER_H

#include <string>

#include <w98/windows.h>

#include "snapshot/snapshot.h"

namespace snapshot {

struct FixDatesJob {
  std::string store_dir;  // with a trailing backslash
  HWND window = nullptr;
  LONG days = 0;                    // the latest snapshot must fall this many days before now
  SSRenameRecord* pairs = nullptr;  // the caller's array, one entry per listed snapshot
};

// Runs one date fixing on the calling worker thread while holding "FixDateMutex" and the
// catalogue lock. Exports the whole catalogue to fixall.sav (followed by one line feed) and
// marks it as being in a date fixing. When the latest snapshot's date is not before now minus
// `days`, rewrites the snapshot list unchanged and sends 303 (also when no snapshot is listed).
// Otherwise shifts every snapshot's date by the amount that puts the latest one at now minus
// `days`, renames each snapshot (control key through a temporary "_" name, list entry,
// references, batch files built in newbatch, which then replaces batch), fills one name pair
// per snapshot in the list's order, and sends 302. Any failure sends 301; when it happens
// after the marks were set they stay, for RollBackFixDates. A listed name that is not a
// usable snapshot name beginning with eight digits, or two snapshots that would get one name,
// fail with 301 before anything is changed. Returns the code sent.
DWORD RunFixDates(const FixDatesJob& job);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_FIX_DATES_WORKER_H
