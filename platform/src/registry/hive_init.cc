#include "registry/hive_init.h"

#include <mutex>

#include "registry/hive.h"
#include "registry/registry.h"
#include "w98/winreg.h"

namespace w98::internal {
namespace {

bool CreateHive(const std::filesystem::path& file,
                const std::vector<std::pair<std::vector<std::string_view>, std::string>>& texts,
                std::string* error) {
  Hive hive(file);
  LONG err = hive.Sync(true);
  if (err == ERROR_SUCCESS) {
    std::lock_guard<std::mutex> lock(hive.Mutex());
    for (const auto& [path, text] : texts) {
      bool created = false;
      auto key = hive.Create(hive.Root(),
                             std::vector<std::string_view>(path.begin(), path.end() - 1), &created);
      if (!path.back().empty() || !text.empty())
        hive.SetValue(*key, path.back(), REG_SZ, std::string_view(text.c_str(), text.size() + 1));
    }
  }
  if (err == ERROR_SUCCESS) err = hive.Commit();
  if (err != ERROR_SUCCESS && error != nullptr)
    *error =
        "cannot create the registry hive " + file.string() + " (error " + std::to_string(err) + ")";
  return err == ERROR_SUCCESS;
}

}  // namespace

bool CreateHives(const std::filesystem::path& root, std::string* error) {
  // Each entry: key names, then the value name ("" with no text: the key alone).
  return CreateHive(
             HivePathOf(root, HiveKind::kSystem),
             {{{"Software", "Classes", ""}, ""},
              {{"Software", "Microsoft", "Windows", "CurrentVersion", "Setup", "BootDir"}, "C:\\"}},
             error) &&
         CreateHive(HivePathOf(root, HiveKind::kUser), {{{"Software", ""}, ""}}, error);
}

}  // namespace w98::internal
