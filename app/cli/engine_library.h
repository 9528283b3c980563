// The engine, loaded by name as the main program loads it: LoadLibraryA("snapshot.dll") and
// GetProcAddress for each export.
#ifndef QUILLOW_APP_CLI_ENGINE_LIBRARY_H
#define QUILLOW_APP_CLI_ENGINE_LIBRARY_H

#include <string>

#include "snapshot/snapshot.h"

namespace quillow {

class EngineLibrary {
 public:
  EngineLibrary() = default;
  ~EngineLibrary();
  EngineLibrary(const EngineLibrary&) = delete;
  EngineLibrary& operator=(const EngineLibrary&) = delete;

  // Loads the library and finds every export; then calls Init with the store folder and keeps
  // its answer in init_status(). False (with a reason) when the library or an export is
  // missing, or while a staged restore waits for its restart (nothing is loaded then).
  bool Load(std::string* error);
  LONG init_status() const { return init_status_; }

  PFN_Init Init = nullptr;
  PFN_SaveSSImage SaveSSImage = nullptr;
  PFN_RestoreSSImg RestoreSSImg = nullptr;
  PFN_RestoreSSFile RestoreSSFile = nullptr;
  PFN_DeleteSSImg DeleteSSImg = nullptr;
  PFN_RollBack RollBack = nullptr;
  PFN_RollBack RollBackFixDates = nullptr;
  PFN_RollBack RollBackDelete = nullptr;
  PFN_RollBack RollBackSave = nullptr;
  PFN_FixSSImgDates FixSSImgDates = nullptr;
  PFN_GetSSImgCount GetSSImgCount = nullptr;
  PFN_ListSSImg ListSSImg = nullptr;
  PFN_GetSSImgInfoCount GetSSImgInfoCount = nullptr;
  PFN_GetSSImgInfo GetSSImgInfo = nullptr;
  PFN_GetSSFilesCount GetSSFilesCount = nullptr;
  PFN_ListSSFiles ListSSFiles = nullptr;
  PFN_SetSSState SetSSState = nullptr;

 private:
  HMODULE module_ = nullptr;
  LONG init_status_ = 0;
};

// What an engine status means, in a few words ("a save was interrupted").
std::string StatusMeaning(LONG status);

}  // namespace quillow

#endif  // QUILLOW_APP_CLI_ENGINE_LIBRARY_H
