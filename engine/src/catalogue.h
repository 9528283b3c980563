// The catalogue: registry keys below HKEY_CURRENT_USER\Software\Zemo\Snapshot, three levels
// deep: a profile key (snapshot.ini, cref.tab or a snapshot's control key), a section key inside
// it, and named values in the section (integers as REG_DWORD, texts as REG_SZ).
//
// Every access names its (profile, section, value) and opens and closes its own keys; no key
// handle outlives an access (a Profile held open lives for one query or one save, on the thread
// that opened it), and nothing is shared between threads, so a worker and the caller's thread
// may use the catalogue at the same time. Opening a section, for reading as for writing,
// creates it (and its profile) when it is missing.
#ifndef SNAPSHOT_SRC_CATALOGUE_H
#define SNAPSHOT_SRC_CATALOGUE_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <w98/windows.h>

namespace snapshot {

// Profiles, sections and values of the catalogue.
namespace cat {
inline constexpr char kMaster[] = "snapshot.ini";
inline constexpr char kReferences[] = "cref.tab";

inline constexpr char kMisc[] = "Misc";
inline constexpr char kLastOp[] = "LastOp";
inline constexpr char kBackupList[] = "BackupList";
inline constexpr char kIndex[] = "Index";
inline constexpr char kKernelFileList[] = "KernelFileList";
inline constexpr char kUserFileList[] = "UserFileList";

inline constexpr char kValid[] = "Valid";
inline constexpr char kNumofSSImage[] = "NumofSSImage";
inline constexpr char kControlFile[] = "ControlFile%d";
inline constexpr char kAliasSequentialNumber[] = "AliasSequentialNumber";
inline constexpr char kDoSave[] = "DoSave";
inline constexpr char kSaveImage[] = "saveimage";
inline constexpr char kDoDelete[] = "DoDelete";
inline constexpr char kDeleteImage[] = "deleteimage";
inline constexpr char kDoFixDates[] = "DoFixDates";
inline constexpr char kRootFileTypeCount[] = "RootFileTypeCount";
inline constexpr char kRootFileType[] = "RootFileType%d";
inline constexpr char kWinFileTypeCount[] = "WinFileTypeCount";
inline constexpr char kWinFileType[] = "WinFileType%d";
inline constexpr char kIndexCount[] = "IndexCount";
inline constexpr char kKey[] = "Key%d";
inline constexpr char kRefCount[] = "RefCount";
inline constexpr char kRefControlFile[] = "RefControlFile%d";
inline constexpr char kOriginalPath[] = "OriginalPath";
inline constexpr char kOriginalFileName[] = "OriginalFileName";
inline constexpr char kStorePath[] = "StorePath";
inline constexpr char kStoreDir[] = "StoreDir";
inline constexpr char kType[] = "Type";
inline constexpr char kAlias[] = "Alias";
inline constexpr char kSize[] = "Size";
inline constexpr char kDate[] = "Date";
inline constexpr char kTime[] = "Time";
inline constexpr char kAttrib[] = "Attrib";
inline constexpr char kVersion[] = "Version";
inline constexpr char kImageName[] = "ImageName";
inline constexpr char kComments[] = "Comments";
inline constexpr char kFileCount[] = "FileCount";
inline constexpr char kFile[] = "File%d";
}  // namespace cat

// The catalogue root below HKEY_CURRENT_USER, "Software\Zemo\Snapshot", and its full name as the
// registry editor writes it, "HKEY_CURRENT_USER\Software\Zemo\Snapshot".
const std::string& CatalogueRootPath();
const std::string& CatalogueRootName();
// "HKEY_CURRENT_USER\Software\Zemo\Snapshot\" + profile, the key an export names.
std::string ProfileKeyName(std::string_view profile);

// Copies `text` into a record field of `size` bytes: at most size - 1 characters, then NUL
// padding to the field's end.
void CopyTextField(char* field, size_t size, std::string_view text);
template <size_t N>
void CopyTextField(char (&field)[N], std::string_view text) {
  CopyTextField(field, N, text);
}

// A value name made from a numbered pattern such as "ControlFile%d".
std::string NumberedName(const char* pattern, int number);

// A profile key held open, so that many sections of it are opened without walking down from
// the root each time (a query opens one section per file). Opening never creates the profile;
// ok() is false when it does not exist. Use on one thread.
class Profile {
 public:
  explicit Profile(std::string_view profile);
  ~Profile();
  Profile(const Profile&) = delete;
  Profile& operator=(const Profile&) = delete;

  bool ok() const { return key_ != nullptr; }
  std::string_view name() const { return name_; }
  HKEY key() const { return key_; }

 private:
  std::string name_;
  HKEY key_ = nullptr;
};

// One open section, for several values read or written in one access. Opening creates the
// section when it is missing; ok() is false when it could neither be opened nor created (then
// every read gives its default and every write fails). Use on one thread.
class Section {
 public:
  Section(std::string_view profile, std::string_view section);
  // The same section, opened below a profile held open (from the root when that fails).
  Section(const Profile& profile, std::string_view section);
  ~Section();
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;

  bool ok() const { return key_ != nullptr; }

  // The REG_DWORD value; `fallback` when it is missing or not 4 bytes long.
  int ReadInt(std::string_view value, int fallback = 0) const;
  // The REG_SZ value; `fallback` when it is missing or not a text.
  std::string ReadText(std::string_view value, std::string_view fallback = {}) const;
  // The REG_SZ value into `field` of `size` bytes as CopyTextField puts it there ("" when it is
  // missing or not a text), without a copy on the heap: a query fills a dozen fields per file.
  void ReadTextField(std::string_view value, char* field, size_t size) const;
  template <size_t N>
  void ReadTextField(std::string_view value, char (&field)[N]) const {
    ReadTextField(value, field, N);
  }
  // True when the value exists (of any type).
  bool Has(std::string_view value) const;
  // Store the value; false when the registry refused.
  bool WriteInt(std::string_view value, int number);
  bool WriteText(std::string_view value, std::string_view text);
  // Removes one value; a missing value is no failure.
  bool DeleteValue(std::string_view value);
  // Closes the key before the object goes; later reads give defaults, writes fail.
  void Close();

 private:
  // The REG_SZ (or REG_EXPAND_SZ) value up to its first NUL, read into `small` (of `small_size`
  // bytes) when it fits there and into `large` when not; nullopt when it is missing or not a
  // text.
  std::optional<std::string_view> QueryText(std::string_view value, char* small, DWORD small_size,
                                            std::string& large) const;

  friend class ValueSet;
  HKEY key_ = nullptr;
};

// Several values of one section read together: one registry call when all of them exist, one
// call per value when some do not. A query reads a dozen values of every file it lists, and
// each read here gives exactly what the Section read of the same value gives. Keep one set for
// many sections, so that its buffers are reused. Use on one thread.
class ValueSet {
 public:
  // Reads the `count` values named in `names` from `section`; the names need live only for the
  // call. A section that is not ok() reads as if every value were missing.
  void Read(const Section& section, const char* const* names, size_t count);
  template <size_t N>
  void Read(const Section& section, const char* const (&names)[N]) {
    Read(section, names, N);
  }

  // The value at `index` of the names, as Section::ReadInt, ReadText and ReadTextField give it.
  int Int(size_t index, int fallback = 0) const;
  std::optional<std::string_view> Text(size_t index) const;
  void TextField(size_t index, char* field, size_t size) const;
  template <size_t N>
  void TextField(size_t index, char (&field)[N]) const {
    TextField(index, field, N);
  }

 private:
  struct Entry {
    bool found = false;
    DWORD type = REG_NONE;
    size_t offset = 0;  // in data_
    size_t size = 0;
  };
  // Reads each value with a call of its own (when some are missing).
  void ReadOneByOne(HKEY key, const char* const* names, size_t count);
  std::string_view Data(const Entry& entry) const {
    return {data_.data() + entry.offset, entry.size};
  }

  std::vector<VALENTA> list_;
  std::vector<Entry> entries_;
  std::string data_;
};

// Single-value accesses, each opening and closing its section.
int ReadInt(std::string_view profile, std::string_view section, std::string_view value,
            int fallback = 0);
std::string ReadText(std::string_view profile, std::string_view section, std::string_view value,
                     std::string_view fallback = {});
bool WriteInt(std::string_view profile, std::string_view section, std::string_view value,
              int number);
bool WriteText(std::string_view profile, std::string_view section, std::string_view value,
               std::string_view text);
bool DeleteValue(std::string_view profile, std::string_view section, std::string_view value);
// Removes a section key with everything in it; a missing section is no failure.
bool DeleteSection(std::string_view profile, std::string_view section);
// Removes a profile key with everything below it; true when it is gone afterwards.
bool DeleteProfile(std::string_view profile);
// Removes the whole catalogue root key; true when it is gone afterwards.
bool DeleteCatalogueRoot();

// Flushes the catalogue root to disk (RegFlushKey on the root opened with all access). Returns
// false only when the root opened and the flush failed; a root that does not open is ignored.
bool FlushCatalogue();

// A numbered list: the count value `count_value` and the values `pattern` numbered from
// `first` (0 or 1). A missing value reads as empty text; the list keeps its gaps.
struct ListSpec {
  std::string_view profile;
  std::string_view section;
  const char* count_value;
  const char* pattern;
  int first;
};
std::vector<std::string> ReadList(const ListSpec& list);

// Rewrites a list that held `old_entries` so that it holds `entries`, in order: values that
// change are written first, then the count, then the values past the new end are removed, so a
// count never names a value that is not there yet. False when a write failed.
bool RewriteList(const ListSpec& list, const std::vector<std::string>& old_entries,
                 const std::vector<std::string>& entries);

// The snapshot list of the master profile (Misc, NumofSSImage, ControlFile1 ...).
ListSpec SnapshotList();
// The Index list of the reference table (Index, IndexCount, Key1 ...).
ListSpec IndexList();
// The reference list of one stored version (its section, RefCount, RefControlFile1 ...).
ListSpec ReferenceList(std::string_view file_key);
// A snapshot's kernel or user file list (FileCount, File0 ...).
ListSpec FileList(std::string_view snapshot, bool kernel);

// The file keys of a snapshot, kernel files first, each list in its own order.
std::vector<std::string> ReadSnapshotFileKeys(std::string_view snapshot);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_CATALOGUE_H
