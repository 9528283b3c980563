// The registry of the current machine as this process uses it: where its hives are, which
// hive and key each predefined root names, and the table of open key handles.
#ifndef W98_SRC_REGISTRY_REGISTRY_H
#define W98_SRC_REGISTRY_REGISTRY_H

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "registry/hive.h"
#include "w98/winreg.h"

namespace w98::internal {

enum class HiveKind { kSystem, kUser };

// Host path of a hive of the machine in `root`: SYSTEM.DAT or USER.DAT in its Windows folder,
// each folder and the file found without regard to case (the file need not exist).
std::filesystem::path HivePathOf(const std::filesystem::path& root, HiveKind kind);

// The hive of the current machine, opened and synced (with `sync` false, only found: its file is
// opened when it is first used). ERROR_BADKEY when there is no machine, else ERROR_SUCCESS or
// the error of opening the file.
LONG MachineHive(HiveKind kind, std::shared_ptr<Hive>* out, bool sync = true);

// What a key handle (or predefined root) names.
struct KeyRef {
  std::shared_ptr<Hive> hive;
  std::shared_ptr<RegKey> key;  // null for a predefined root: see RootKey()
  HKEY root = nullptr;          // the predefined root, when the handle is one
  bool users = false;           // HKEY_USERS itself, which holds only .DEFAULT (USER.DAT)
};

// Resolves a handle: a predefined root or an open handle of this process. ERROR_BADKEY for
// anything else. Does not lock; the hive is synced.
LONG ResolveKey(HKEY hkey, KeyRef* out);

// Under ref.hive->Mutex(): the key the reference names (for HKEY_CLASSES_ROOT,
// HKLM\Software\Classes, created when missing). The reference or the tree keeps it alive
// while the lock is held; every registry call asks for it, so no reference count is taken.
RegKey* RootKey(KeyRef& ref);

// Adds a handle for `ref` and returns it (never NULL or a predefined root).
HKEY InsertKeyHandle(KeyRef ref);
// ERROR_SUCCESS when `hkey` was open (or once was: closing twice succeeds, as on Windows 98),
// ERROR_BADKEY when it never was.
LONG CloseKeyHandle(HKEY hkey);

// Splits a key path at backslashes. A trailing backslash is ignored; false for an empty name
// inside the path or a path deeper than 512 keys.
bool SplitKeyPath(std::string_view path, std::vector<std::string_view>* parts);

// The full name of a predefined root ("HKEY_LOCAL_MACHINE"), or nullptr.
const char* RootName(HKEY root);
// The predefined root of a full or short root name (any case), or nullptr.
HKEY RootOfName(std::string_view name);

}  // namespace w98::internal

#endif  // W98_SRC_REGISTRY_REGISTRY_H
