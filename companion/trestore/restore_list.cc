#include "restore_list.h"

#include "w98/windows.h"

namespace trestore {
namespace {

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

bool ParseLetters(std::string_view letters, uint32_t* attributes) {
  *attributes = 0;
  for (char c : letters) {
    switch (c) {
      case 'S':
      case 's':
        *attributes |= FILE_ATTRIBUTE_SYSTEM;
        break;
      case 'H':
      case 'h':
        *attributes |= FILE_ATTRIBUTE_HIDDEN;
        break;
      case 'R':
      case 'r':
        *attributes |= FILE_ATTRIBUTE_READONLY;
        break;
      case ' ':
        break;
      default:
        return false;
    }
  }
  return true;
}

}  // namespace

bool ParseRestoreList(std::string_view bytes, RestoreList* list) {
  list->records.clear();
  list->malformed.clear();
  if (bytes.substr(0, kListHeader.size()) != kListHeader) return false;
  size_t pos = kListHeader.size();
  bool first = true;  // the rest of the header's own line
  while (pos <= bytes.size()) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool header_line = first;
    first = false;
    if (line.find_first_not_of(" \t\x1a") == std::string_view::npos) continue;
    if (header_line) {
      list->malformed.emplace_back(line);
      continue;
    }
    const std::vector<std::string_view> fields = SplitTabs(line);
    RestoreRecord record;
    // The letters field is empty for a file without S, H or R; a writer may drop its tab.
    if ((fields.size() != 4 && fields.size() != 3) || fields[1].empty() || fields[2].empty() ||
        !ParseLetters(fields.size() == 4 ? fields[3] : std::string_view(), &record.attributes)) {
      list->malformed.emplace_back(line);
      continue;
    }
    record.version = std::string(fields[0]);
    record.original = std::string(fields[1]);
    record.stored = std::string(fields[2]);
    list->records.push_back(std::move(record));
  }
  return true;
}

}  // namespace trestore
