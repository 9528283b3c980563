#include "engine_library.h"

#include "cli.h"
#include "restore_settings.h"

namespace quillow {
namespace {

template <typename Fn>
bool Find(HMODULE module, const char* name, Fn* slot, std::string* error) {
  // Through the generic function type, as every GetProcAddress result is cast.
  *slot = reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
  if (*slot == nullptr) *error = std::string("snapshot.dll has no export ") + name;
  return *slot != nullptr;
}

}  // namespace

EngineLibrary::~EngineLibrary() {
  // The library stays loaded until the process ends, as the main program keeps it: a worker
  // may still be finishing after it has sent its completion message.
}

bool EngineLibrary::Load(std::string* error) {
  if (RestoreAwaitsRestart()) {
    *error =
        "a restore is staged and waits for the restart: restart the machine first (w98 restart); "
        "starting the engine now would put the catalogue back before the restart brings back "
        "old registry files";
    return false;
  }
  module_ = LoadLibraryA("snapshot.dll");
  if (module_ == nullptr) {
    *error = "cannot load snapshot.dll (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  const bool found = Find(module_, "Init", &Init, error) &&
                     Find(module_, "SaveSSImage", &SaveSSImage, error) &&
                     Find(module_, "RestoreSSImg", &RestoreSSImg, error) &&
                     Find(module_, "RestoreSSFile", &RestoreSSFile, error) &&
                     Find(module_, "DeleteSSImg", &DeleteSSImg, error) &&
                     Find(module_, "RollBack", &RollBack, error) &&
                     Find(module_, "RollBackFixDates", &RollBackFixDates, error) &&
                     Find(module_, "RollBackDelete", &RollBackDelete, error) &&
                     Find(module_, "RollBackSave", &RollBackSave, error) &&
                     Find(module_, "FixSSImgDates", &FixSSImgDates, error) &&
                     Find(module_, "GetSSImgCount", &GetSSImgCount, error) &&
                     Find(module_, "ListSSImg", &ListSSImg, error) &&
                     Find(module_, "GetSSImgInfoCount", &GetSSImgInfoCount, error) &&
                     Find(module_, "GetSSImgInfo", &GetSSImgInfo, error) &&
                     Find(module_, "GetSSFilesCount", &GetSSFilesCount, error) &&
                     Find(module_, "ListSSFiles", &ListSSFiles, error) &&
                     Find(module_, "SetSSState", &SetSSState, error);
  if (!found) return false;
  init_status_ = Init(kStoreFolder);
  return true;
}

std::string StatusMeaning(LONG status) {
  switch (status) {
    case SS_OK:
      return "consistent";
    case SS_SAVE_DONE:
      return "saved";
    case SS_SAVE_FAILED:
      return "the catalogue could not be written or a work file could not be created";
    case SS_SAVE_DISK_FULL:
      return "the disk is full";
    case SS_SAVE_NO_ALIAS:
      return "no free name for a stored copy";
    case SS_DELETE_DONE:
      return "deleted";
    case SS_DELETE_FAILED:
      return "the delete failed";
    case SS_FIXDATES_DONE:
      return "snapshots re-dated";
    case SS_FIXDATES_NOTHING:
      return "nothing to re-date";
    case SS_FIXDATES_FAILED:
      return "the date fixing failed";
    case SS_ROLLBACK_KEY_DELETE:
      return "the catalogue could not be deleted for the roll-back";
    case SS_ROLLBACK_IMPORT:
      return "the catalogue backup fixall.sav is missing or could not be imported";
    case SS_WORKER_NOT_CREATED:
      return "the worker could not be started";
    case SS_CATALOGUE_DAMAGED:
      return "the catalogue is damaged (no interrupted operation is recorded)";
    case SS_THREAD_CONTROL_FAILED:
      return "the worker could not be paused, continued or stopped";
    case SS_INTERRUPTED_FIXDATES:
      return "a date fixing was interrupted";
    case SS_INTERRUPTED_DELETE:
      return "a delete was interrupted";
    case SS_INTERRUPTED_SAVE:
      return "a save was interrupted";
    case SS_RESTORE_BOOT_BATCH:
      return "the boot-phase batch could not be staged (or the name is not a snapshot name)";
    case SS_RESTORE_WIN_BATCH:
      return "the Windows-phase batch could not be staged";
    case SS_RESTORE_AUTOEXEC:
      return "AUTOEXEC.BAT could be neither opened nor created";
    case SS_RESTORE_REGWIN:
      return "REGWIN.INI could not be written";
    case SS_RESTORE_RW_INI:
      return "rw_ini.bat could not be written";
    case SS_RESTORE_PIF:
      return "a .pif file of the restart program could not be staged";
    case SS_RESTORE_TEMP_FOLDER:
      return "c:\\windows\\temp is missing and could not be created";
    default:
      return "status " + std::to_string(status);
  }
}

}  // namespace quillow
