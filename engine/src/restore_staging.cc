#include "restore_staging.h"

#include "catalogue.h"
#include "registry_editor.h"
#include "text_file.h"

namespace snapshot {

bool EnsureStagingFolder() {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(kStagingFolder, &found);
  if (find != INVALID_HANDLE_VALUE) {
    FindClose(find);
    return true;
  }
  return CreateDirectoryA(kStagingFolder, nullptr) != FALSE;
}

void ExportWholeCatalogue(const std::string& store) {
  ExportCatalogueKey(store + "alltabs.sav", CatalogueRootName());
}

bool OpenAutoexec(const std::string& boot, TextFile& file, bool* created) {
  const std::string path = boot + "AUTOEXEC.BAT";
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  *created = false;
  if (file.OpenExistingForAppend(path)) return true;
  if (!file.OpenForAppend(path)) return false;
  *created = true;
  return true;
}

bool WriteNewFile(const std::string& path, const std::vector<std::string>& writes) {
  TextFile file;
  return file.Create(path) && file.WriteAll(writes);
}

bool WriteRwIni(const texts::Folders& folders, bool delete_autoexec) {
  return WriteNewFile(kStagedRwIni, texts::RwIni(folders, delete_autoexec));
}

bool WriteRegWin(const texts::Folders& folders, LONG mode, bool with_run_entry) {
  return WriteNewFile(folders.store + "\\REGWIN.INI", texts::RegWin(folders, mode, with_run_entry));
}

bool StagePifFiles(const std::string& store) {
  bool all = true;
  for (const char* name : {"RPL.pif", "RPN.pif", "RPH.pif"}) {
    const std::string source = store + name;
    const std::string target = std::string(kStagingFolder) + "\\" + name;
    if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) all = false;
  }
  return all;
}

}  // namespace snapshot
