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

// The data of the value `name` of `key`, with its type in `*type`: read into `small` (of
// `small_size` bytes, not 0) when it fits there, else into `large`; nullopt when it is missing
// or keeps growing while it is read.
std::optional<std::string_view> QueryValue(HKEY key, const char* name, char* small,
                                           DWORD small_size, std::string& large, DWORD* type) {
  DWORD size = small_size;
  LONG rc = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(small), &size);
  if (rc == ERROR_SUCCESS) return std::string_view(small, size);
  // Larger than the small buffer: read it whole.
  for (int attempt = 0; attempt < 4 && rc == ERROR_MORE_DATA; ++attempt) {
    large.resize(size);
    rc = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(large.data()), &size);
  }
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return std::string_view(large.data(), size);
}

// How a value's data reads as a number (Section::ReadInt): exactly four bytes.
std::optional<int> IntOf(std::string_view data) {
  if (data.size() != sizeof(DWORD)) return std::nullopt;
  DWORD number = 0;
  std::memcpy(&number, data.data(), sizeof number);
  return static_cast<int>(number);
}

// How a value's data reads as a text: REG_SZ or REG_EXPAND_SZ, up to the first NUL.
std::optional<std::string_view> TextOf(DWORD type, std::string_view data) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  return data.substr(0, data.find('\0'));
}

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
                       &size) != ERROR_SUCCESS)
    return fallback;
  return IntOf(std::string_view(reinterpret_cast<const char*>(&number), size)).value_or(fallback);
}

std::optional<std::string_view> Section::QueryText(std::string_view value, char* small,
                                                   DWORD small_size, std::string& large) const {
  if (key_ == nullptr) return std::nullopt;
  const CText name(value);
  DWORD type = REG_NONE;
  const std::optional<std::string_view> data =
      QueryValue(key_, name.c_str(), small, small_size, large, &type);
  return data ? TextOf(type, *data) : std::nullopt;
}

void ValueSet::Read(const Section& section, const char* const* names, size_t count) {
  entries_.assign(count, Entry{});
  if (section.key_ == nullptr || count == 0) return;
  list_.resize(count);
  for (size_t i = 0; i < count; ++i) list_[i] = VALENTA{const_cast<LPSTR>(names[i]), 0, 0, 0};
  constexpr size_t kFirstSize = 4096;  // a file's dozen values take a few hundred bytes
  if (data_.size() < kFirstSize) data_.resize(kFirstSize);
  LONG rc = ERROR_MORE_DATA;
  // A value that grows between the calls sends the read round again.
  for (int attempt = 0; attempt < 4 && rc == ERROR_MORE_DATA; ++attempt) {
    auto size = static_cast<DWORD>(data_.size());
    rc = RegQueryMultipleValuesA(section.key_, list_.data(), static_cast<DWORD>(count),
                                 data_.data(), &size);
    if (rc == ERROR_MORE_DATA) data_.resize(size);
  }
  if (rc != ERROR_SUCCESS) {
    ReadOneByOne(section.key_, names, count);
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    const auto* at = reinterpret_cast<const char*>(list_[i].ve_valueptr);
    entries_[i] =
        Entry{true, list_[i].ve_type, static_cast<size_t>(at - data_.data()), list_[i].ve_valuelen};
  }
}

void ValueSet::ReadOneByOne(HKEY key, const char* const* names, size_t count) {
  data_.clear();
  char small[512];
  std::string large;
  for (size_t i = 0; i < count; ++i) {
    DWORD type = REG_NONE;
    const std::optional<std::string_view> data =
        QueryValue(key, names[i], small, sizeof small, large, &type);
    if (!data) continue;
    entries_[i] = Entry{true, type, data_.size(), data->size()};
    data_.append(*data);
  }
}

int ValueSet::Int(size_t index, int fallback) const {
  const Entry& entry = entries_[index];
  return entry.found ? IntOf(Data(entry)).value_or(fallback) : fallback;
}

std::optional<std::string_view> ValueSet::Text(size_t index) const {
  const Entry& entry = entries_[index];
  return entry.found ? TextOf(entry.type, Data(entry)) : std::nullopt;
}

void ValueSet::TextField(size_t index, char* field, size_t size) const {
  CopyTextField(field, size, Text(index).value_or(""));
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
  // Read in batches, one registry call each: a snapshot lists thousands of files.
  constexpr int kBatch = 64;
  ValueSet values;
  std::vector<std::string> names;
  std::vector<const char*> pointers;
  for (int from = 0; from < count; from += kBatch) {
    names.clear();
    pointers.clear();
    for (int i = from; i < count && i < from + kBatch; ++i)
      names.push_back(NumberedName(list.pattern, list.first + i));
    for (const std::string& name : names) pointers.push_back(name.c_str());
    values.Read(section, pointers.data(), pointers.size());
    for (size_t i = 0; i < names.size(); ++i) entries.emplace_back(values.Text(i).value_or(""));
  }
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
