#include "release.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include <w98/windows.h>

#include "catalogue.h"

namespace snapshot {
namespace {

// Removes the first entry equal to `value`; false when there is none.
bool RemoveFirst(std::vector<std::string>& list, std::string_view value) {
  const auto it = std::find(list.begin(), list.end(), value);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

void DeleteStoredCopy(const std::string& store_path, const std::string& alias) {
  // Without both there is no stored copy to name: never the copy folder itself, never a file
  // found relative to the current folder.
  if (alias.empty() || store_path.empty()) return;
  const std::string copy = store_path + alias;
  SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(copy.c_str());
}

// Removes the first occurrence of each dropped key from the Index list, in one rewrite.
bool RemoveFromIndex(const std::vector<std::string>& dropped) {
  const ListSpec index = IndexList();
  const std::vector<std::string> old_keys = ReadList(index);
  std::unordered_map<std::string_view, int> pending;
  for (const std::string& key : dropped) ++pending[key];
  std::vector<std::string> keys;
  keys.reserve(old_keys.size());
  for (const std::string& key : old_keys) {
    const auto it = pending.find(key);
    if (it != pending.end() && it->second > 0) {
      --it->second;
      continue;
    }
    keys.push_back(key);
  }
  if (keys.empty() && !old_keys.empty()) {
    // The last versions leave: the section goes whole (it holds nothing but the list), which
    // costs one deletion instead of one per key.
    return DeleteSection(index.profile, index.section) &&
           WriteInt(index.profile, index.section, index.count_value, 0);
  }
  return RewriteList(index, old_keys, keys);
}

}  // namespace

bool ReleaseSnapshotReferences(std::string_view name) {
  std::vector<std::string> dropped;
  for (const std::string& key : ReadSnapshotFileKeys(name)) {
    // A gap in a file list names no version; its empty name would address the whole reference
    // table, which must not be released.
    if (key.empty()) continue;
    const ListSpec references = ReferenceList(key);
    std::string store_path;
    std::string alias;
    {
      Section section(cat::kReferences, key);
      store_path = section.ReadText(cat::kStorePath);
      alias = section.ReadText(cat::kAlias);
    }
    const std::vector<std::string> old_names = ReadList(references);
    std::vector<std::string> names = old_names;
    RemoveFirst(names, name);
    if (names.empty()) {
      // The version's whole section goes, its emptied list with it.
      DeleteStoredCopy(store_path, alias);
      if (!DeleteSection(cat::kReferences, key)) return false;
      dropped.push_back(key);
    } else if (!RewriteList(references, old_names, names)) {
      return false;
    }
  }
  return dropped.empty() || RemoveFromIndex(dropped);
}

bool RemoveFromSnapshotList(std::string_view name, std::string* last) {
  const ListSpec list = SnapshotList();
  const std::vector<std::string> old_names = ReadList(list);
  std::vector<std::string> names = old_names;
  RemoveFirst(names, name);
  if (last != nullptr) *last = names.empty() ? std::string() : names.back();
  return RewriteList(list, old_names, names);
}

bool SnapshotListed(std::string_view name) {
  const std::vector<std::string> names = ReadList(SnapshotList());
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace snapshot
