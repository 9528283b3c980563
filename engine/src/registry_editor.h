// The catalogue's backups: export and import through the platform's registry editor, started
// as a hidden process and waited for without time-out, and the deletion of catalogue keys.
#ifndef SNAPSHOT_SRC_REGISTRY_EDITOR_H
#define SNAPSHOT_SRC_REGISTRY_EDITOR_H

#include <string>
#include <string_view>

namespace snapshot {

// Writes `key_name` ("HKEY_CURRENT_USER\Software\Zemo\Snapshot\...") with everything below it
// into `file` ("regedit.exe /E file   key"). True when the registry editor was started (and has
// ended); its own success is not known. Blocks the calling thread while the editor runs.
bool ExportCatalogueKey(const std::string& file, const std::string& key_name);
// Merges the registry script `file` into the registry ("regedit.exe /S /I file"). True when the
// registry editor was started.
bool ImportCatalogueFile(const std::string& file);

// The kinds of catalogue key that DeleteCatalogueKey knows.
enum class KeyKind {
  kMaster = 0,     // snapshot.ini: sections Misc, BackupList, then the key
  kSnapshot = 1,   // a control key: Misc, KernelFileList, UserFileList, then the key
  kReferences = 2  // cref.tab: Index, every file key listed in Index, Misc, then the key
};
// Deletes the sections of `profile` that its kind names (a missing one is no failure), then the
// profile key with whatever is still below it. True when the key is gone.
bool DeleteCatalogueKey(KeyKind kind, std::string_view profile);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_REGISTRY_EDITOR_H
