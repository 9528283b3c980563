// Puts the files of a quick-restore list back from their stored copies, without ever
// leaving a half-written file: each copy goes to a temporary name in the target's folder
// and replaces the target by renames only once it is complete.
#ifndef TRESTORE_QUICK_RESTORE_H
#define TRESTORE_QUICK_RESTORE_H

#include <functional>
#include <string>

#include "restore_list.h"

namespace trestore {

// The counters of trestore.log.
struct ErrorCounts {
  unsigned hardware = 0;
  unsigned read = 0;
  unsigned write = 0;
  unsigned memory = 0;
  unsigned application = 0;
  unsigned low_disk = 0;
};

// Exit codes, read by the boot-phase batch file from the highest ERRORLEVEL down: 0 and 5 or
// more skip its COPY lines, 1 to 4 run them.
enum ExitCode : int {
  kAllRestored = 0,       // every listed file was restored (or the list holds none)
  kListUnusable = 1,      // the list is missing, unreadable, or lacks its header
  kStoredCopyBad = 2,     // a stored copy is missing or cannot be read
  kTargetNotWritten = 3,  // a file could not be written in place (protected, path trouble)
  kInternalError = 4,     // a malformed record, a bad command line, or no memory
  kDiskFull = 5,          // the disk is full: the COPY lines would fail as well
};

struct RestoreOptions {
  bool overwrite = false;  // -o: replace existing files; without it only missing files return
};

struct RestoreResult {
  ErrorCounts counts;
  unsigned restored = 0;
  int exit_code = kAllRestored;
};

// Restores every record of `list`. Each restored file gets the attributes of its letters
// plus archive, and keeps the stored copy's last-write time. `progress` receives one line
// per file (restored or failed). Never throws.
RestoreResult RestoreFiles(const RestoreList& list, const RestoreOptions& options,
                           const std::function<void(const std::string&)>& progress);

// Folds a failure into a result: the exit code becomes 5 once the disk was full, else the
// highest of the codes 1 to 4 met so far.
void NoteFailure(RestoreResult* result, int code);

// The text of trestore.log: six lines "Hardware Errors: n" ... "Low Disk Space Errors: n",
// each ended by '\n' (written in text mode as CR LF).
std::string LogText(const ErrorCounts& counts);

}  // namespace trestore

#endif  // TRESTORE_QUICK_RESTORE_H
