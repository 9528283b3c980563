// The steps that a whole-snapshot restore and a single-file session's closing call share:
// the staging folder c:\windows\temp, the files written there and in the store, and the status
// that collects the failures of the steps.
#ifndef SNAPSHOT_SRC_RESTORE_STAGING_H
#define SNAPSHOT_SRC_RESTORE_STAGING_H

#include <string>
#include <vector>

#include <w98/windows.h>

#include "text_file.h"
#include "texts/texts.h"

namespace snapshot {

// The staging folder and the files staged in it; fixed paths that the batch texts also name.
inline constexpr char kStagingFolder[] = "c:\\windows\\temp";
inline constexpr char kStagedBootBatch[] = "c:\\windows\\temp\\rb.bat";
inline constexpr char kStagedWinBatch[] = "c:\\windows\\temp\\rw.bat";
inline constexpr char kStagedQuickList[] = "c:\\windows\\temp\\trestdat";
inline constexpr char kStagedRwIni[] = "c:\\windows\\temp\\rw_ini.bat";
inline constexpr char kStagedAutoexec[] = "c:\\windows\\temp\\AUTOEXEC.BAT";

// The result of a staging: every step runs whatever the earlier ones gave; a failing step
// records its code and the last one recorded wins, except that a failed .pif copy replaces
// every code.
class StagingStatus {
 public:
  void Record(LONG code) { recorded_ = code; }
  LONG Final(bool pif_files_staged) const { return pif_files_staged ? recorded_ : 1009; }

 private:
  LONG recorded_ = 0;
};

// Creates c:\windows\temp when a find on it finds nothing; false when it is missing and could
// not be created.
bool EnsureStagingFolder();

// {store}alltabs.sav: the whole catalogue, which Init puts back after the restart, since the
// restored hives bring back an older one. Waits for the registry editor.
void ExportWholeCatalogue(const std::string& store);

// {BOOT}AUTOEXEC.BAT with its attributes set to normal, opened at its end: the existing file,
// or a new one when it cannot be opened; *created tells which. False when neither worked.
bool OpenAutoexec(const std::string& boot, TextFile& file, bool* created);

// Writes `writes` into a new (or truncated) file; false when it cannot be created or written.
bool WriteNewFile(const std::string& path, const std::vector<std::string>& writes);

// c:\windows\temp\rw_ini.bat; false when it cannot be written.
bool WriteRwIni(const texts::Folders& folders, bool delete_autoexec);
// {STORE}\REGWIN.INI (the store folder ends with a backslash, so the path holds two); false
// when it cannot be written.
bool WriteRegWin(const texts::Folders& folders, LONG mode, bool with_run_entry);

// Copies {STORE}RPL.pif, RPN.pif and RPH.pif into the staging folder, all three attempted in
// that order; false when any failed.
bool StagePifFiles(const std::string& store);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_RESTORE_STAGING_H
