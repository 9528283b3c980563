// The in-memory key tree of a hive.
//
// Keys and values have case-insensitive, case-preserving names and are kept sorted by name, so
// a lookup is a binary search and enumeration by index is direct. Every key knows its folded
// path below the hive root ("SOFTWARE\ZEMO"), which is how the hive file names it. Besides the
// data, a key carries the local changes that are not yet committed to the hive file, stamped
// with the hive's change sequence number (0: none).
//
// Not thread-safe: the owning Hive guards the whole tree with its mutex.
#ifndef W98_SRC_REGISTRY_KEY_TREE_H
#define W98_SRC_REGISTRY_KEY_TREE_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/text.h"
#include "registry/name_sorted.h"
#include "w98/windef.h"

namespace w98::internal {

struct RegValue {
  std::string name;  // as first written ("" is the default value)
  DWORD type = 0;
  std::string data;             // the bytes, exactly as stored
  std::uint64_t dirty_seq = 0;  // local change not yet committed
};

struct RegKey;
struct ValueNameOf {
  static std::string_view Of(const RegValue& value) { return value.name; }
};
struct KeyNameOf {
  static std::string_view Of(const std::shared_ptr<RegKey>& key);
};

struct RegKey : std::enable_shared_from_this<RegKey> {
  std::string name;  // leaf name as created ("" for the hive root)
  std::string path;  // folded path below the hive root ("" for the root)
  RegKey* parent = nullptr;
  bool removed = false;  // deleted: detached from the tree

  // Sorted by name, ignoring case. Read freely; change only through the methods below, which
  // keep the index of a key with many children in step.
  NameSorted<std::shared_ptr<RegKey>, KeyNameOf> children;
  NameSorted<RegValue, ValueNameOf> values;  // sorted by name, ignoring case

  // Local changes not yet committed.
  std::uint64_t created_seq = 0;
  std::vector<std::pair<std::string, std::uint64_t>> deleted_values;  // folded name, seq
  bool listed = false;  // on the hive's list of keys with local changes

  // Returns the child named `child` (any case) or nullptr.
  std::shared_ptr<RegKey> FindChild(std::string_view child) const;
  // Adds a child that must not exist yet and returns it.
  std::shared_ptr<RegKey> AddChild(std::string_view child);
  // Detaches the child named `child` with everything below it (all marked removed).
  void RemoveChild(std::string_view child);
  // Detaches the child at `index` (left as it is: the caller marks it removed).
  void DetachChildAt(size_t index);
  // Detaches every child (left as they are).
  void ClearChildren();

  RegValue* FindValue(std::string_view value);
  // The value named `value`, inserted (type 0, no data) when missing; `*inserted` (when given)
  // tells which.
  RegValue& InsertValue(std::string_view value, bool* inserted = nullptr);
  bool EraseValue(std::string_view value);

  // True when a value is dirty, a value deletion is pending or the key's creation is.
  bool HasLocalChanges() const;
  bool HasPendingDelete(std::string_view folded) const;
  void DropPendingDelete(std::string_view folded);

 private:
  // The children by name, for a key with many of them (the reference table has one per stored
  // file, looked up once per file by every query): built at the first lookup, then kept in step.
  // Its keys view the children's names, which never change.
  mutable std::unordered_map<std::string_view, RegKey*, NoCaseHash, NoCaseEqual> child_index_;
  mutable bool child_index_built_ = false;
};

inline std::string_view KeyNameOf::Of(const std::shared_ptr<RegKey>& key) {
  return key->name;
}

// "A" + "b" -> "A\B": the folded path of a child.
std::string ChildPath(std::string_view parent_path, std::string_view child_name);

// Marks `key` and everything below it removed (after it was detached).
void MarkRemoved(RegKey& key);

}  // namespace w98::internal

#endif  // W98_SRC_REGISTRY_KEY_TREE_H
