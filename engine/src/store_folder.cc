#include "store_folder.h"

#include <vector>

#include <w98/windows.h>

namespace snapshot {

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveFileFolder(const std::string& folder) {
  if (PathExists(folder)) {
    std::vector<std::string> files;
    {
      struct Find {
        HANDLE handle;
        ~Find() {
          if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
        }
      };
      const std::string pattern = folder + "\\*.*";
      WIN32_FIND_DATAA found;
      Find find{FindFirstFileA(pattern.c_str(), &found)};
      if (find.handle != INVALID_HANDLE_VALUE) {
        do {
          if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(folder + "\\" + found.cFileName);
        } while (FindNextFileA(find.handle, &found));
      }
    }
    for (const std::string& file : files) {
      SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(file.c_str());
    }
  }
  SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(folder.c_str());
}

}  // namespace snapshot
