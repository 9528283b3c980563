// Creating the registry hives of a new machine.
#ifndef W98_SRC_REGISTRY_HIVE_INIT_H
#define W98_SRC_REGISTRY_HIVE_INIT_H

#include <filesystem>
#include <string>

namespace w98::internal {

// Creates C:\WINDOWS\SYSTEM.DAT and USER.DAT in the machine folder `root` (not yet selected),
// with HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Setup BootDir = "C:\".
bool CreateHives(const std::filesystem::path& root, std::string* error);

}  // namespace w98::internal

#endif  // W98_SRC_REGISTRY_HIVE_INIT_H
