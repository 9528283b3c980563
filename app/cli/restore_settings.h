// What the main program writes into sswizard.ini when it has staged a whole-snapshot restore,
// before it restarts the machine: the restore is pending, which snapshot it restores, a second
// restart is due after the first, and the next Init puts the catalogue back from alltabs.sav.
#ifndef QUILLOW_APP_CLI_RESTORE_SETTINGS_H
#define QUILLOW_APP_CLI_RESTORE_SETTINGS_H

#include <string>

namespace quillow {

// Writes "restoress" = "1", "restoreimage" = name, "restart" = "1" and "DoRestore" = "1", in
// this order, into section [snapshot] of the store's sswizard.ini. False when a write failed.
bool RecordPendingRestore(const std::string& name);

// True while a staged restore waits for the restart that runs it: sswizard.ini asks the next
// Init to put the catalogue back (DoRestore=1) and the boot-phase batch c:\windows\temp\rb.bat
// is still staged, for a whole-snapshot restore ("restoress"=1; the boot phase deletes rb.bat)
// or for a closed single-file session (its session files are still in the store; the Windows
// phase deletes them). Starting the engine then would put the catalogue back too early: the
// restart's restored hives would bring back an old catalogue that nothing replaces.
bool RestoreAwaitsRestart();

// The restart program's switch of a restart mode, as the engine writes it: 0 "/QH", 2 "/QL",
// any other "/QN".
std::string RestartSwitchOf(int mode);

}  // namespace quillow

#endif  // QUILLOW_APP_CLI_RESTORE_SETTINGS_H
