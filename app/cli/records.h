// The engine's query records, read into plain values.
#ifndef QUILLOW_APP_CLI_RECORDS_H
#define QUILLOW_APP_CLI_RECORDS_H

#include <string>
#include <vector>

#include "engine_library.h"

namespace quillow {

struct SnapshotInfo {
  std::string name, image_name, comments, date, time;
  int valid = 0, kernel_files = 0, user_files = 0;
};

struct FileVersionInfo {
  std::string key, date, time, attributes, type, source_folder, source_name, store_path,
      store_folder, alias, version, last_snapshot;
  int size = 0;
};

// Every listed snapshot (GetSSImgCount, then ListSSImg with an empty name).
std::vector<SnapshotInfo> ListSnapshots(const EngineLibrary& engine);
// The files of one snapshot, kernel files first (GetSSImgInfoCount, then GetSSImgInfo).
std::vector<FileVersionInfo> SnapshotFiles(const EngineLibrary& engine, const std::string& name);
// The stored versions, optionally of one file name (GetSSFilesCount, then ListSSFiles).
std::vector<FileVersionInfo> StoredVersions(const EngineLibrary& engine, const std::string& filter);

// Loads the engine (which runs Init); prints a warning when Init reports an unfinished
// operation. False (with a reason) when the engine cannot be loaded.
bool OpenEngine(EngineLibrary& engine, std::string* error);

}  // namespace quillow

#endif  // QUILLOW_APP_CLI_RECORDS_H
