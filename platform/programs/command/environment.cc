#include "environment.h"

#include "batch_text.h"

namespace command {

bool Environment::Get(std::string_view name, std::string* value) const {
  for (const auto& [key, text] : entries_) {
    if (EqualsNoCase(key, name)) {
      if (value != nullptr) *value = text;
      return true;
    }
  }
  return false;
}

void Environment::Set(std::string_view name, std::string_view value) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (EqualsNoCase(it->first, name)) {
      entries_.erase(it);
      break;
    }
  }
  if (!value.empty()) entries_.emplace_back(std::string(name), std::string(value));
}

Environment Environment::MachineDefault(const std::string& windows_folder) {
  Environment env;
  const std::string boot = windows_folder.size() >= 2 ? windows_folder.substr(0, 2) + "\\" : "C:\\";
  env.Set("TMP", windows_folder + "\\TEMP");
  env.Set("TEMP", windows_folder + "\\TEMP");
  env.Set("PROMPT", "$p$g");
  env.Set("winbootdir", windows_folder);
  env.Set("COMSPEC", boot + "COMMAND.COM");
  env.Set("PATH", windows_folder + ";" + windows_folder + "\\COMMAND");
  env.Set("windir", windows_folder);
  return env;
}

}  // namespace command
