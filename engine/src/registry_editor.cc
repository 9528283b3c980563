#include "registry_editor.h"

#include <vector>

#include <w98/windows.h>

#include "catalogue.h"

namespace snapshot {
namespace {

// Starts "regedit.exe" with `parameters`, hidden, and waits for it to end.
bool RunRegistryEditor(const std::string& parameters) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = "open";
  info.lpFile = "regedit.exe";
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  if (!ShellExecuteExA(&info)) return false;
  if (info.hProcess != nullptr) {
    // Close the handle also when the wait is cut short by the thread's termination.
    struct ProcessHandle {
      HANDLE handle;
      ~ProcessHandle() { CloseHandle(handle); }
    } process{info.hProcess};
    WaitForSingleObject(process.handle, INFINITE);
  }
  return true;
}

}  // namespace

bool ExportCatalogueKey(const std::string& file, const std::string& key_name) {
  // Neither path is quoted; three blanks separate them.
  return RunRegistryEditor("/E " + file + "   " + key_name);
}

bool ImportCatalogueFile(const std::string& file) {
  return RunRegistryEditor("/S /I " + file);
}

bool DeleteCatalogueKey(KeyKind kind, std::string_view profile) {
  switch (kind) {
    case KeyKind::kMaster:
      DeleteSection(profile, cat::kMisc);
      DeleteSection(profile, cat::kBackupList);
      break;
    case KeyKind::kSnapshot:
      DeleteSection(profile, cat::kMisc);
      DeleteSection(profile, cat::kKernelFileList);
      DeleteSection(profile, cat::kUserFileList);
      break;
    case KeyKind::kReferences: {
      // The file keys are read before Index goes.
      const std::vector<std::string> keys =
          ReadList({profile, cat::kIndex, cat::kIndexCount, cat::kKey, 1});
      DeleteSection(profile, cat::kIndex);
      for (const std::string& key : keys)
        if (!key.empty()) DeleteSection(profile, key);
      DeleteSection(profile, cat::kMisc);
      break;
    }
  }
  return DeleteProfile(profile);
}

}  // namespace snapshot
