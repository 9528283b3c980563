// Restoring: a whole snapshot, or single files gathered in a session. Both only stage the
// restore; it runs outside Windows at the next restart (boot phase, then Windows phase), which
// the caller starts. Both run on the caller's thread and take no mutex.
#ifndef SNAPSHOT_SRC_RESTORE_H
#define SNAPSHOT_SRC_RESTORE_H

#include <w98/windows.h>

#include "texts/texts.h"

namespace snapshot {

// Stages the restore of snapshot `name`: exports the catalogue to alltabs.sav, stages the
// snapshot's three batch files as c:\windows\temp\rb.bat, rw.bat and trestdat, sets Logo=0 in
// msdos.sys, hooks rb.bat into {BOOT}AUTOEXEC.BAT, writes rw_ini.bat and REGWIN.INI (with the
// restart switch of `mode`) and stages the three .pif files. Every step runs; the result is
// 0, the code of the last failed step (1010, 1001, 1002, 1003, 1005, 1004), or 1009 when a .pif
// file was not staged. A name that is not a usable snapshot name (shorter than ten characters,
// or holding a path character) stages nothing and gives 1001.
LONG RestoreImage(const texts::Folders& folders, const char* name, LONG mode);

// Adds the file `file` (a bare name, compared exactly with the stored versions' source names,
// kernel list first) of snapshot `name` to the single-file session in {STORE}_rfbob.sav and
// _rfbow.sav; with close = 1 also stages the session for the next restart, with the restart
// switch of `mode`, and sets DoRestore=1 in sswizard.ini. A file the snapshot does not hold
// adds no block and is no failure. Result: 0, the last failed step's code (1010, 1001, 1002,
// 1005, 1004), or 1009 when a .pif file was not staged; a name that is not a usable snapshot
// name changes nothing and gives 1001.
LONG RestoreFile(const texts::Folders& folders, const char* name, const char* file, LONG close,
                 LONG mode);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_RESTORE_H
