#include "consistency.h"

#include <vector>

#include "catalogue.h"
#include "registry_editor.h"
#include "snapshot/snapshot.h"
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
  const std::string newbatch = store + "newbatch";
  if (GetFileAttributesA(newbatch.c_str()) != INVALID_FILE_ATTRIBUTES) {
    const std::string pattern = newbatch + "\\*.*";
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      std::vector<std::string> files;
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          files.push_back(newbatch + "\\" + found.cFileName);
      } while (FindNextFileA(find, &found));
      FindClose(find);
      for (const std::string& file : files) {
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.c_str());
      }
    }
  }
  SetFileAttributesA(newbatch.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(newbatch.c_str());
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
