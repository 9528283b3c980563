// Until the registry exists, no file is a hive.
#include "registry/storage_hooks.h"

namespace w98::internal {

bool IsRegistryHelperFile(std::string_view) { return false; }
bool CopyHiveConsistently(const std::filesystem::path&, const std::filesystem::path&, DWORD*) {
  return false;
}
void BeforeHiveReplaced(const std::filesystem::path&) {}
void FlushAllHives() {}

}  // namespace w98::internal
