#include "catalogue_access.h"

#include <w98/windows.h>

namespace quillow::catalogue {
namespace {

std::string Path(const std::string& profile, const std::string& section) {
  std::string path = std::string(kRoot) + "\\" + profile;
  if (!section.empty()) path += "\\" + section;
  return path;
}

class Key {
 public:
  Key(const std::string& path, bool create) {
    if (create) {
      DWORD disposition = 0;
      if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key_, &disposition) != ERROR_SUCCESS)
        key_ = nullptr;
    } else if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key_) !=
               ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

const char kRoot[] = "Software\\Zemo\\Snapshot";

std::optional<int> ReadInt(const std::string& profile, const std::string& section,
                           const std::string& value) {
  Key key(Path(profile, section), false);
  if (key.get() == nullptr) return std::nullopt;
  DWORD number = 0, type = 0, size = sizeof number;
  if (RegQueryValueExA(key.get(), value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number),
                       &size) != ERROR_SUCCESS ||
      size != sizeof number)
    return std::nullopt;
  return static_cast<int>(number);
}

std::optional<std::string> ReadText(const std::string& profile, const std::string& section,
                                    const std::string& value) {
  Key key(Path(profile, section), false);
  if (key.get() == nullptr) return std::nullopt;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key.get(), value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return std::nullopt;
  std::string data(size, '\0');
  if (size > 0 && RegQueryValueExA(key.get(), value.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
    return std::nullopt;
  data.resize(size);
  const size_t end = data.find('\0');
  if (end != std::string::npos) data.resize(end);
  return data;
}

std::vector<std::string> ReadList(const std::string& profile, const std::string& section,
                                  const std::string& count_value, const std::string& prefix,
                                  int first) {
  std::vector<std::string> list;
  const int count = ReadInt(profile, section, count_value).value_or(0);
  for (int i = 0; i < count; ++i)
    list.push_back(
        ReadText(profile, section, prefix + std::to_string(first + i)).value_or(std::string()));
  return list;
}

bool KeyExists(const std::string& profile, const std::string& section) {
  return Key(Path(profile, section), false).get() != nullptr;
}

std::vector<std::string> Sections(const std::string& profile) {
  std::vector<std::string> names;
  Key key(Path(profile, {}), false);
  if (key.get() == nullptr) return names;
  for (DWORD i = 0;; ++i) {
    char name[1024];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.emplace_back(name, length);
  }
  return names;
}

bool WriteInt(const std::string& profile, const std::string& section, const std::string& value,
              int number) {
  Key key(Path(profile, section), true);
  const DWORD data = static_cast<DWORD>(number);
  return key.get() != nullptr &&
         RegSetValueExA(key.get(), value.c_str(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
}

bool WriteText(const std::string& profile, const std::string& section, const std::string& value,
               const std::string& text) {
  Key key(Path(profile, section), true);
  return key.get() != nullptr &&
         RegSetValueExA(key.get(), value.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool DeleteSection(const std::string& profile, const std::string& section) {
  const LONG rc = RegDeleteKeyA(HKEY_CURRENT_USER, Path(profile, section).c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool Flush() {
  Key root(kRoot, true);
  return root.get() != nullptr && RegFlushKey(root.get()) == ERROR_SUCCESS;
}

}  // namespace quillow::catalogue
