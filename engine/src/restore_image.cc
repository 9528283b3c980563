// The restore of a whole snapshot: staged in c:\windows\temp, hooked into AUTOEXEC.BAT.
#include "restore.h"

#include <string>

#include "restore_staging.h"
#include "snapshot/snapshot.h"
#include "snapshot_names.h"
#include "text_file.h"

namespace snapshot {
namespace {

// {BOOT}MSDOS.SYS: Logo=0 keeps the text screen visible while the boot phase runs. The file is
// hidden, system and read-only; its attributes are cleared first. Results are not checked: the
// restore runs also with the logo.
void HideStartupLogo(const std::string& boot) {
  const std::string path = boot + "msdos.sys";
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  WritePrivateProfileStringA("Options", "logo", "0", path.c_str());
}

}  // namespace

LONG RestoreImage(const texts::Folders& folders, const char* name, LONG mode) {
  const std::string snapshot = name != nullptr ? name : "";
  if (!IsUsableSnapshotName(snapshot)) return SS_RESTORE_BOOT_BATCH;
  const std::string& store = folders.store;
  StagingStatus status;

  ExportWholeCatalogue(store);

  if (!EnsureStagingFolder()) status.Record(SS_RESTORE_TEMP_FOLDER);
  for (const char* staged : {kStagedBootBatch, kStagedWinBatch, kStagedQuickList})
    DeleteFileA(staged);
  const std::string batch = store + "batch\\";
  const std::string boot_batch = batch + BatchFileName(snapshot, 'B');
  const std::string win_batch = batch + BatchFileName(snapshot, 'W');
  const std::string quick_list = batch + BatchFileName(snapshot, 'D');
  const bool boot_staged = CopyFileA(boot_batch.c_str(), kStagedBootBatch, FALSE) != FALSE;
  const bool win_staged = CopyFileA(win_batch.c_str(), kStagedWinBatch, FALSE) != FALSE;
  // Without the quick-restore list the boot phase falls back to its COPY lines.
  CopyFileA(quick_list.c_str(), kStagedQuickList, FALSE);
  if (!boot_staged) status.Record(SS_RESTORE_BOOT_BATCH);
  if (!win_staged) status.Record(SS_RESTORE_WIN_BATCH);

  HideStartupLogo(folders.boot);

  // A hook that is not written completely would leave the restore unstarted at the restart: it
  // fails the step as an AUTOEXEC.BAT that cannot be opened does.
  bool autoexec_created = false;
  {
    TextFile autoexec;
    if (!OpenAutoexec(folders.boot, autoexec, &autoexec_created) ||
        !autoexec.WriteAll(texts::AutoexecHook()))
      status.Record(SS_RESTORE_AUTOEXEC);
  }
  if (!WriteRwIni(folders, autoexec_created)) status.Record(SS_RESTORE_RW_INI);
  if (!WriteRegWin(folders, mode, true)) status.Record(SS_RESTORE_REGWIN);

  return status.Final(StagePifFiles(store));
}

}  // namespace snapshot
