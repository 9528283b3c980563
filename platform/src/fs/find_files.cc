// FindFirstFileA, FindNextFileA, FindClose.
//
// A search lists one folder: the listing (names in case-insensitive order with their
// aliases) comes from the folder cache, and each match is looked at on disk only when it is
// returned, so its attributes, size and time are current. Entries that vanished meanwhile are
// skipped.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <mutex>

#include "core/api.h"
#include "core/handles.h"
#include "core/path.h"
#include "fs/api_support.h"
#include "fs/dos_attributes.h"
#include "fs/file_times.h"
#include "fs/folder_listing.h"
#include "fs/wildcard.h"

namespace w98::internal {
namespace {

class FindState final : public KernelObject {
 public:
  // A search through the folder's listing.
  FindState(UniqueFd folder, std::shared_ptr<const FolderListing> listing, WildcardPattern pattern)
      : folder_(std::move(folder)), listing_(std::move(listing)), pattern_(std::move(pattern)) {}
  // A search for one entry (a name without wildcards).
  FindState(UniqueFd folder, FolderEntry only)
      : folder_(std::move(folder)), pattern_(only.name), only_(std::move(only)) {}

  // Lists "." and ".." first (in a folder below a drive's root).
  void WithDotEntries() { dots_ = 0; }

  // Fills `data` with the next match; false when there is none left.
  bool Next(WIN32_FIND_DATAA& data) {
    std::lock_guard<std::mutex> lock(mutex_);
    while (dots_ < 2) {
      const char* name = dots_++ == 0 ? "." : "..";
      if (pattern_.Matches(name) && Fill(name, "", data)) return true;
    }
    if (!listing_) {
      if (only_done_) return false;
      only_done_ = true;
      return Fill(only_.name.c_str(), only_.alias.c_str(), data);
    }
    const auto& entries = listing_->Entries();
    while (next_ < entries.size()) {
      const FolderEntry& e = entries[next_++];
      if (!pattern_.Matches(e.name) && !(!e.alias.empty() && pattern_.Matches(e.alias))) continue;
      if (Fill(e.name.c_str(), e.alias.c_str(), data)) return true;
    }
    return false;
  }

 private:
  bool Fill(const char* name, const char* alias, WIN32_FIND_DATAA& data) const {
    struct stat st {};
    if (::fstatat(folder_.get(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    const bool folder = S_ISDIR(st.st_mode);
    if (!folder && !S_ISREG(st.st_mode)) return false;
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes =
        ReportedAttributes(ReadDosAttributes(folder_.get(), name, folder), folder);
    if (!folder) {
      const auto size = static_cast<std::uint64_t>(st.st_size);
      data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
      data.nFileSizeLow = static_cast<DWORD>(size);
    }
    // FAT keeps only a write time worth reporting; the other two report the same moment.
    data.ftLastWriteTime = ReportedWriteTime(st);
    data.ftCreationTime = data.ftLastWriteTime;
    data.ftLastAccessTime = data.ftLastWriteTime;
    std::strncpy(data.cFileName, name, sizeof data.cFileName - 1);
    std::strncpy(data.cAlternateFileName, alias, sizeof data.cAlternateFileName - 1);
    return true;
  }

  std::mutex mutex_;
  UniqueFd folder_;
  std::shared_ptr<const FolderListing> listing_;
  WildcardPattern pattern_;
  size_t next_ = 0;
  int dots_ = 2;
  FolderEntry only_;
  bool only_done_ = false;
};

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// A pattern may hold any character of a long name, and '*' and '?'.
bool IsValidPattern(std::string_view pattern) {
  for (unsigned char c : pattern) {
    if (c < 0x20) return false;
    if (c == '"' || c == '<' || c == '>' || c == '|' || c == ':') return false;
  }
  return true;
}

// Opens the folder to search; ERROR_PATH_NOT_FOUND when it is missing or a file.
DWORD OpenSearchFolder(std::string_view folder_text, UniqueFd& fd, bool& is_root) {
  DosPath path;
  DWORD error = ParseDosPath(folder_text.empty() ? std::string_view(".") : folder_text, path);
  if (error != ERROR_SUCCESS) return error;
  Location where;
  error = Locate(path, where);
  if (error != ERROR_SUCCESS) return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
  if (!where.IsDirectory()) return ERROR_PATH_NOT_FOUND;
  is_root = where.is_root;
  // A descriptor of the search's own: the located folder may be shared.
  fd.reset(is_root ? ::fcntl(where.folder.get(), F_DUPFD_CLOEXEC, 0)
                   : ::openat(where.folder.get(), where.leaf.c_str(),
                              O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) return ERROR_PATH_NOT_FOUND;
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace w98::internal

using namespace w98::internal;

W98API HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  EnterCall();
  if (lpFileName == nullptr || lpFindFileData == nullptr)
    return FailWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  const std::string_view text(lpFileName);
  if (text.empty()) return FailWith(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  // The last component is the pattern; what comes before it names the folder.
  size_t cut = text.size();
  while (cut > 0 && !IsSeparator(text[cut - 1])) --cut;
  if (cut == 0 && text.size() >= 2 && text[1] == ':') cut = 2;  // "C:*.TXT"
  const std::string_view folder_text = text.substr(0, cut);
  const std::string_view pattern_text = text.substr(cut);
  if (!IsValidPattern(pattern_text)) return FailWith(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);

  UniqueFd folder;
  bool is_root = false;
  const DWORD error = OpenSearchFolder(folder_text, folder, is_root);
  if (error != ERROR_SUCCESS) return FailWith(error, INVALID_HANDLE_VALUE);

  WildcardPattern pattern(pattern_text);
  if (pattern.IsLiteral() && pattern.LiteralName().empty())
    return FailWith(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);  // "C:\", "C:\WINDOWS\"
  std::shared_ptr<FindState> state;
  if (pattern.IsLiteral()) {
    FolderEntry entry;
    const DWORD find_error = FindInFolder(folder.get(), pattern.LiteralName(), entry);
    if (find_error != ERROR_SUCCESS) return FailWith(find_error, INVALID_HANDLE_VALUE);
    state = std::make_shared<FindState>(std::move(folder), std::move(entry));
  } else {
    DWORD list_error = ERROR_SUCCESS;
    auto listing = ListFolder(folder.get(), &list_error);
    if (!listing) return FailWith(list_error, INVALID_HANDLE_VALUE);
    state = std::make_shared<FindState>(std::move(folder), std::move(listing), std::move(pattern));
    if (!is_root) state->WithDotEntries();
  }
  if (!state->Next(*lpFindFileData)) return FailWith(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  return InsertHandle(std::move(state));
}

W98API BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  EnterCall();
  auto state = LookupHandleAs<FindState>(hFindFile);
  if (!state) return FailWith(ERROR_INVALID_HANDLE);
  if (lpFindFileData == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  if (!state->Next(*lpFindFileData)) return FailWith(ERROR_NO_MORE_FILES);
  return TRUE;
}

W98API BOOL WINAPI FindClose(HANDLE hFindFile) {
  EnterReleaseCall();
  if (!LookupHandleAs<FindState>(hFindFile) || !RemoveHandle(hFindFile))
    return FailWith(ERROR_INVALID_HANDLE);
  return TRUE;
}
