#include "registry/hive_init.h"

namespace w98::internal {

// Until the registry exists a machine has no hives.
bool CreateHives(const std::filesystem::path&, std::string*) { return true; }

}  // namespace w98::internal
