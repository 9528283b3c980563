// The quick-restore list that the engine writes for each snapshot ("trestdat" once staged):
// the header "::Quillow DOS Restore File" and then, each after a line end, one record per
// file: VERSION TAB ORIGINAL-PATH TAB STORED-COPY-PATH TAB LETTERS, where VERSION is "NONE"
// for a file without a version and LETTERS holds the file's attributes among S, H and R.
#ifndef TRESTORE_RESTORE_LIST_H
#define TRESTORE_RESTORE_LIST_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trestore {

inline constexpr std::string_view kListHeader = "::Quillow DOS Restore File";

struct RestoreRecord {
  std::string version;
  std::string original;     // where the file goes back
  std::string stored;       // its stored copy
  uint32_t attributes = 0;  // FILE_ATTRIBUTE_SYSTEM / HIDDEN / READONLY from the letters
};

struct RestoreList {
  std::vector<RestoreRecord> records;
  // Lines that are no record: wrong number of fields, an empty path, a letter other than
  // S, H or R. Each is left out of `records` and counted here.
  std::vector<std::string> malformed;
};

// Parses the list. Returns false when the text does not begin with the header (nothing is
// then trustworthy); records may end in CR LF or LF, and blank lines are skipped.
bool ParseRestoreList(std::string_view bytes, RestoreList* list);

}  // namespace trestore

#endif  // TRESTORE_RESTORE_LIST_H
