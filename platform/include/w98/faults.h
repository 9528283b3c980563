// w98 extension (not Win32), for tests: faults injected into the machine's file calls, as
// LevelDB's fault-injecting environment does for a database, so that the failure paths of
// programs can be driven without a real failing disk.
//
// A switch is kept in the machine's run folder, so it holds for every process of the machine
// (a program started by the test counts copies with the test itself). A full disk needs no
// switch: give drive C: a capacity in machine.ini ([capacity] C=<bytes>) and every write that
// would pass it fails with ERROR_DISK_FULL.
#ifndef W98_FAULTS_H
#define W98_FAULTS_H

#include <w98/windef.h>
#include <w98/winerror.h>

namespace w98 {

// Makes the nth CopyFileA from now (1 = the next one) that gets as far as copying, in any
// process of the current machine, fail with `error` although the disk has room: the bytes are
// copied, then the copy is dropped, the target is left as it was, and CopyFileA returns FALSE
// with `error` as the last error. Only that one copy fails. A new call replaces the switch.
// Returns false when there is no current machine or nth is 0.
bool FailNthCopy(unsigned nth, DWORD error = ERROR_SHARING_VIOLATION);

// How many copies are still to come before the switched copy fails (1: the next one);
// 0 when no copy fault is pending.
unsigned PendingCopyFault();

// Removes every fault switch of the current machine.
void ClearFaults();

}  // namespace w98

#endif  // W98_FAULTS_H
