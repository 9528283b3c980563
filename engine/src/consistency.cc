#include "consistency.h"

#include "catalogue.h"
#include "registry_editor.h"
#include "snapshot/snapshot.h"
#include "store_folder.h"
#include "text_file.h"

namespace snapshot {

LONG CheckConsistency() {
  const int references_valid = ReadInt(cat::kReferences, cat::kMisc, cat::kValid, 0);
  int master_valid = 0, do_delete = 0, do_fix_dates = 0, do_save = 0, count = 0;
  {
    Section misc(cat::kMaster, cat::kMisc);
    master_valid = misc.ReadInt(cat::kValid, 0);
    {
      Section last_op(cat::kMaster, cat::kLastOp);
      do_delete = last_op.ReadInt(cat::kDoDelete, 0);
      do_fix_dates = last_op.ReadInt(cat::kDoFixDates, 0);
      do_save = last_op.ReadInt(cat::kDoSave, 0);
    }
    count = misc.ReadInt(cat::kNumofSSImage, 0);
  }
  int last_valid = 1;
  if (count > 0) {
    const std::string last =
        ReadText(cat::kMaster, cat::kMisc, NumberedName(cat::kControlFile, count));
    last_valid = ReadInt(last, cat::kMisc, cat::kValid, 0);
  }
  if (references_valid != 0 && master_valid != 0 && last_valid != 0) return SS_OK;
  if (do_save == 1) return SS_INTERRUPTED_SAVE;
  if (do_delete == 1) return SS_INTERRUPTED_DELETE;
  if (do_fix_dates == 1) return SS_INTERRUPTED_FIXDATES;
  return SS_CATALOGUE_DAMAGED;
}

LONG RollBackSave() {
  WriteInt(cat::kMaster, cat::kLastOp, cat::kDoSave, 0);
  return SS_OK;
}

LONG RollBackDelete(const std::string& store) {
  const std::string references_backup = store + "cref.sav";
  const std::string master_backup = store + "snapshot.sav";
  if (!IsRegistryScript(references_backup) || !IsRegistryScript(master_backup)) return SS_OK;
  DeleteCatalogueKey(KeyKind::kReferences, cat::kReferences);
  ImportCatalogueFile(references_backup);
  DeleteCatalogueKey(KeyKind::kMaster, cat::kMaster);
  ImportCatalogueFile(master_backup);
  return SS_OK;
}

LONG RollBackFixDates(const std::string& store) {
  const std::string backup = store + "fixall.sav";
  if (!IsRegistryScript(backup)) return SS_ROLLBACK_IMPORT;
  if (!DeleteCatalogueRoot()) return SS_ROLLBACK_KEY_DELETE;
  if (!ImportCatalogueFile(backup)) return SS_ROLLBACK_IMPORT;
  // A run stopped after it moved the batch folder aside leaves the old one in oldbatch (only a
  // run that had begun the swap leaves it: each run removes a leftover before it marks the
  // catalogue). The old catalogue needs the old batch files back in place.
  const std::string batch = store + "batch";
  const std::string old_batch = store + "oldbatch";
  if (PathExists(old_batch)) {
    if (PathExists(batch)) RemoveFileFolder(batch);
    MoveFileA(old_batch.c_str(), batch.c_str());
  }
  RemoveFileFolder(store + "newbatch");
  WriteInt(cat::kMaster, cat::kLastOp, cat::kDoFixDates, 0);
  return SS_OK;
}

bool RestoreCatalogueFromBackup(const std::string& store) {
  const std::string backup = store + "alltabs.sav";
  if (!IsRegistryScript(backup)) return false;
  for (const std::string& name : ReadList(SnapshotList()))
    DeleteCatalogueKey(KeyKind::kSnapshot, name);
  DeleteCatalogueKey(KeyKind::kReferences, cat::kReferences);
  DeleteCatalogueKey(KeyKind::kMaster, cat::kMaster);
  return ImportCatalogueFile(backup);
}

}  // namespace snapshot
