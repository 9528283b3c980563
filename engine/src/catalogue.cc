#include "catalogue.h"

#include <cstring>

namespace snapshot {
namespace {

// Read, create-sub-key and set-value rights, as every catalogue access asks them.
constexpr REGSAM kAccess = KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY | KEY_SET_VALUE;

std::string KeyPath(std::string_view profile, std::string_view section = {}) {
  std::string path = CatalogueRootPath();
  path += '\\';
  path += profile;
  if (!section.empty()) {
    path += '\\';
    path += section;
  }
  return path;
}

// Opens a key below HKEY_CURRENT_USER, creating it (and the keys above it) when it is missing.
HKEY OpenOrCreate(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, kAccess, &key) == ERROR_SUCCESS) return key;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess,
                      nullptr, &key, &disposition) == ERROR_SUCCESS)
    return key;
  return nullptr;
}

// A text as the NUL-terminated string a registry call takes, copied on the stack when it is
// short: a save writes and a query reads a dozen values per file, names and texts alike.
class CText {
 public:
  explicit CText(std::string_view text) {
    if (text.size() < sizeof small_) {
      if (!text.empty()) std::memcpy(small_, text.data(), text.size());
      small_[text.size()] = '\0';
      text_ = small_;
    } else {
      large_.assign(text);
      text_ = large_.c_str();
    }
  }
  CText(const CText&) = delete;
  CText& operator=(const CText&) = delete;

  const char* c_str() const { return text_; }

 private:
  char small_[MAX_PATH + 8];
  std::string large_;
  const char* text_;
};

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

bool DeleteKeyPath(const std::string& path) {
  const LONG rc = RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace

const std::string& CatalogueRootPath() {
  // The root is "Zemo", a backslash and "Snapshot" below the key "Software".
  static const std::string path = std::string("Software\\") + "Zemo" + "\\" + "Snapshot";
  return path;
}

const std::string& CatalogueRootName() {
  static const std::string name = "HKEY_CURRENT_USER\\" + CatalogueRootPath();
  return name;
}

std::string ProfileKeyName(std::string_view profile) {
  std::string name = CatalogueRootName();
  name += '\\';
  name += profile;
  return name;
}

void CopyTextField(char* field, size_t size, std::string_view text) {
  const size_t n = text.size() < size - 1 ? text.size() : size - 1;
  if (n != 0) std::memcpy(field, text.data(), n);  // an empty view may have no data at all
  std::memset(field + n, 0, size - n);
}

std::string NumberedName(const char* pattern, int number) {
  std::string name(pattern);
  const size_t at = name.find("%d");
  if (at != std::string::npos) name.replace(at, 2, std::to_string(number));
  return name;
}

Profile::Profile(std::string_view profile) : name_(profile) {
  if (profile.empty()) return;  // would name the catalogue root
  if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath(profile).c_str(), 0, kAccess, &key_) !=
      ERROR_SUCCESS)
    key_ = nullptr;
}

Profile::~Profile() {
  if (key_ != nullptr) RegCloseKey(key_);
}

Section::Section(std::string_view profile, std::string_view section) {
  // An empty name would address the key above it: such a section does not exist.
  if (!profile.empty() && !section.empty()) key_ = OpenOrCreate(KeyPath(profile, section));
}

Section::Section(const Profile& profile, std::string_view section) {
  if (profile.name().empty() || section.empty()) return;
  // Opens the section, or makes it: one call either way (a save makes one per stored file).
  // A name with a leading backslash, which RegCreateKeyExA would drop, goes the long way.
  if (profile.ok() && section.front() != '\\') {
    const CText name(section);
    DWORD disposition = 0;
    if (RegCreateKeyExA(profile.key(), name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess,
                        nullptr, &key_, &disposition) == ERROR_SUCCESS)
      return;
    key_ = nullptr;
  }
  // Missing below the profile (or the profile itself): created as any other section is.
  key_ = OpenOrCreate(KeyPath(profile.name(), section));
}

Section::~Section() {
  Close();
}

void Section::Close() {
  if (key_ != nullptr) RegCloseKey(key_);
  key_ = nullptr;
}

int Section::ReadInt(std::string_view value, int fallback) const {
  if (key_ == nullptr) return fallback;
  const CText name(value);
  DWORD number = 0;
  DWORD type = 0;
  DWORD size = sizeof number;
  if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number),
                       &size) != ERROR_SUCCESS ||
      size != sizeof number)
    return fallback;
  return static_cast<int>(number);
}

std::optional<std::string_view> Section::QueryText(std::string_view value, char* small,
                                                   DWORD small_size, std::string& large) const {
  if (key_ == nullptr) return std::nullopt;
  const CText name(value);
  DWORD type = 0;
  DWORD size = small_size;
  LONG rc =
      RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(small), &size);
  std::string_view data;
  if (rc == ERROR_SUCCESS) {
    data = std::string_view(small, size);
  } else if (rc == ERROR_MORE_DATA) {
    // The value grew past the small buffer: read it whole.
    for (int attempt = 0; attempt < 4 && rc == ERROR_MORE_DATA; ++attempt) {
      large.resize(size);
      rc = RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                            reinterpret_cast<BYTE*>(large.data()), &size);
    }
    if (rc != ERROR_SUCCESS) return std::nullopt;
    data = std::string_view(large.data(), size);
  } else {
    return std::nullopt;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  return data.substr(0, data.find('\0'));
}

std::string Section::ReadText(std::string_view value, std::string_view fallback) const {
  char small[512];
  std::string large;
  const std::optional<std::string_view> text = QueryText(value, small, sizeof small, large);
  return std::string(text ? *text : fallback);
}

void Section::ReadTextField(std::string_view value, char* field, size_t size) const {
  char small[512];
  std::string large;
  CopyTextField(field, size, QueryText(value, small, sizeof small, large).value_or(""));
}

bool Section::Has(std::string_view value) const {
  if (key_ == nullptr) return false;
  const CText name(value);
  DWORD type = 0;
  DWORD size = 0;
  return RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
}

bool Section::WriteInt(std::string_view value, int number) {
  if (key_ == nullptr) return false;
  const CText name(value);
  const DWORD data = static_cast<DWORD>(number);
  return RegSetValueExA(key_, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data) == ERROR_SUCCESS;
}

bool Section::WriteText(std::string_view value, std::string_view text) {
  if (key_ == nullptr) return false;
  const CText name(value);
  const CText data(text);
  return RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool Section::DeleteValue(std::string_view value) {
  if (key_ == nullptr) return false;
  const CText name(value);
  const LONG rc = RegDeleteValueA(key_, name.c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

int ReadInt(std::string_view profile, std::string_view section, std::string_view value,
            int fallback) {
  return Section(profile, section).ReadInt(value, fallback);
}

std::string ReadText(std::string_view profile, std::string_view section, std::string_view value,
                     std::string_view fallback) {
  return Section(profile, section).ReadText(value, fallback);
}

bool WriteInt(std::string_view profile, std::string_view section, std::string_view value,
              int number) {
  return Section(profile, section).WriteInt(value, number);
}

bool WriteText(std::string_view profile, std::string_view section, std::string_view value,
               std::string_view text) {
  return Section(profile, section).WriteText(value, text);
}

bool DeleteValue(std::string_view profile, std::string_view section, std::string_view value) {
  return Section(profile, section).DeleteValue(value);
}

bool DeleteSection(std::string_view profile, std::string_view section) {
  if (profile.empty() || section.empty()) return true;  // names no section: nothing to delete
  return DeleteKeyPath(KeyPath(profile, section));
}

bool DeleteProfile(std::string_view profile) {
  if (profile.empty()) return false;  // would name the catalogue root
  const std::string path = KeyPath(profile);
  DeleteKeyPath(path);
  return !KeyExists(path);
}

bool DeleteCatalogueRoot() {
  DeleteKeyPath(CatalogueRootPath());
  return !KeyExists(CatalogueRootPath());
}

bool FlushCatalogue() {
  HKEY root = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, CatalogueRootPath().c_str(), 0, KEY_ALL_ACCESS, &root) !=
      ERROR_SUCCESS)
    return true;
  const LONG rc = RegFlushKey(root);
  RegCloseKey(root);
  return rc == ERROR_SUCCESS;
}

std::vector<std::string> ReadList(const ListSpec& list) {
  Section section(list.profile, list.section);
  const int count = section.ReadInt(list.count_value, 0);
  std::vector<std::string> entries;
  if (count <= 0) return entries;
  entries.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    entries.push_back(section.ReadText(NumberedName(list.pattern, list.first + i)));
  return entries;
}

bool RewriteList(const ListSpec& list, const std::vector<std::string>& old_entries,
                 const std::vector<std::string>& entries) {
  Section section(list.profile, list.section);
  if (!section.ok()) return false;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i < old_entries.size() && old_entries[i] == entries[i]) continue;
    if (!section.WriteText(NumberedName(list.pattern, list.first + static_cast<int>(i)),
                           entries[i]))
      return false;
  }
  if (entries.size() != old_entries.size() &&
      !section.WriteInt(list.count_value, static_cast<int>(entries.size())))
    return false;
  for (size_t i = entries.size(); i < old_entries.size(); ++i)
    if (!section.DeleteValue(NumberedName(list.pattern, list.first + static_cast<int>(i))))
      return false;
  return true;
}

ListSpec SnapshotList() {
  return {cat::kMaster, cat::kMisc, cat::kNumofSSImage, cat::kControlFile, 1};
}

ListSpec IndexList() {
  return {cat::kReferences, cat::kIndex, cat::kIndexCount, cat::kKey, 1};
}

ListSpec ReferenceList(std::string_view file_key) {
  return {cat::kReferences, file_key, cat::kRefCount, cat::kRefControlFile, 1};
}

ListSpec FileList(std::string_view snapshot, bool kernel) {
  return {snapshot, kernel ? cat::kKernelFileList : cat::kUserFileList, cat::kFileCount, cat::kFile,
          0};
}

std::vector<std::string> ReadSnapshotFileKeys(std::string_view snapshot) {
  std::vector<std::string> keys = ReadList(FileList(snapshot, true));
  std::vector<std::string> user = ReadList(FileList(snapshot, false));
  keys.insert(keys.end(), user.begin(), user.end());
  return keys;
}

}  // namespace snapshot
