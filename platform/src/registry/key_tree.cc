#include "registry/key_tree.h"

#include <algorithm>

#include "core/text.h"

namespace w98::internal {
namespace {

// Below this many children a binary search is as quick as the index.
constexpr size_t kIndexedChildren = 64;

}  // namespace

std::string ChildPath(std::string_view parent_path, std::string_view child_name) {
  std::string out;
  out.reserve(parent_path.size() + child_name.size() + 1);
  out.append(parent_path);
  if (!parent_path.empty()) out += '\\';
  for (char c : child_name) out += FoldCase(c);
  return out;
}

void MarkRemoved(RegKey& key) {
  key.removed = true;
  key.parent = nullptr;
  for (auto& child : key.children) MarkRemoved(*child);
}

std::shared_ptr<RegKey> RegKey::FindChild(std::string_view child) const {
  if (children.size() >= kIndexedChildren) {
    if (!child_index_built_) {
      child_index_.clear();
      child_index_.reserve(children.size());
      for (const auto& key : children) child_index_.emplace(key->name, key.get());
      child_index_built_ = true;
    }
    auto found = child_index_.find(child);
    return found == child_index_.end() ? nullptr : found->second->shared_from_this();
  }
  const std::shared_ptr<RegKey>* found = children.Find(child);
  return found == nullptr ? nullptr : *found;
}

std::shared_ptr<RegKey> RegKey::AddChild(std::string_view child) {
  auto key = std::make_shared<RegKey>();
  key->name = std::string(child);
  key->path = ChildPath(path, child);
  key->parent = this;
  children.Insert(key);
  if (child_index_built_) child_index_.emplace(key->name, key.get());
  return key;
}

void RegKey::RemoveChild(std::string_view child) {
  std::optional<std::shared_ptr<RegKey>> doomed = children.Remove(child);
  if (!doomed) return;
  if (child_index_built_) child_index_.erase((*doomed)->name);
  MarkRemoved(**doomed);
}

void RegKey::DetachChildAt(size_t index) {
  if (child_index_built_) child_index_.erase(children[index]->name);
  children.EraseAt(index);
}

void RegKey::ClearChildren() {
  children.clear();
  child_index_.clear();
  child_index_built_ = false;
}

RegValue* RegKey::FindValue(std::string_view value) {
  return values.Find(value);
}

RegValue& RegKey::InsertValue(std::string_view value, bool* inserted) {
  return values.FindOrInsert(
      value,
      [&] {
        RegValue fresh;
        fresh.name = std::string(value);
        return fresh;
      },
      inserted);
}

bool RegKey::EraseValue(std::string_view value) {
  return values.Erase(value);
}

bool RegKey::HasLocalChanges() const {
  if (created_seq != 0 || !deleted_values.empty()) return true;
  for (const auto& v : values)
    if (v.dirty_seq != 0) return true;
  return false;
}

bool RegKey::HasPendingDelete(std::string_view folded) const {
  for (const auto& d : deleted_values)
    if (d.first == folded) return true;
  return false;
}

void RegKey::DropPendingDelete(std::string_view folded) {
  std::erase_if(deleted_values, [&](const auto& d) { return d.first == folded; });
}

}  // namespace w98::internal
