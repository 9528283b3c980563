#include "registry/key_tree.h"

#include <algorithm>

#include "core/text.h"

namespace w98::internal {
namespace {

template <class Vec, class NameOf>
auto LowerBound(Vec& items, std::string_view name, NameOf name_of) {
  return std::lower_bound(
      items.begin(), items.end(), name,
      [&](const auto& item, std::string_view n) { return CompareNoCase(name_of(item), n) < 0; });
}

// LowerBound, trying first the place `hint` (just after the last insertion): names are often
// added in order, and a key with thousands of children then never searches.
template <class Vec, class NameOf>
auto LowerBoundNear(Vec& items, size_t hint, std::string_view name, NameOf name_of) {
  if (hint <= items.size() && (hint == 0 || CompareNoCase(name_of(items[hint - 1]), name) < 0) &&
      (hint == items.size() || CompareNoCase(name, name_of(items[hint])) <= 0))
    return items.begin() + static_cast<std::ptrdiff_t>(hint);
  return LowerBound(items, name, name_of);
}

const std::string& KeyName(const std::shared_ptr<RegKey>& key) {
  return key->name;
}
const std::string& ValueName(const RegValue& value) {
  return value.name;
}

// Below this many children a binary search is as quick as the index.
constexpr size_t kIndexedChildren = 64;

}  // namespace

size_t NoCaseHash::operator()(std::string_view name) const {
  // FNV-1a of the folded bytes.
  size_t hash = 14695981039346656037ull;
  for (char c : name) {
    hash ^= static_cast<unsigned char>(FoldCase(c));
    hash *= 1099511628211ull;
  }
  return hash;
}

bool NoCaseEqual::operator()(std::string_view a, std::string_view b) const {
  return EqualsNoCase(a, b);
}

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
  auto it = LowerBound(children, child, KeyName);
  if (it == children.end() || !EqualsNoCase((*it)->name, child)) return nullptr;
  return *it;
}

std::shared_ptr<RegKey> RegKey::AddChild(std::string_view child) {
  auto it = LowerBoundNear(children, child_hint_, child, KeyName);
  child_hint_ = static_cast<size_t>(it - children.begin()) + 1;
  auto key = std::make_shared<RegKey>();
  key->name = std::string(child);
  key->path = ChildPath(path, child);
  key->parent = this;
  children.insert(it, key);
  if (child_index_built_) child_index_.emplace(key->name, key.get());
  return key;
}

void RegKey::RemoveChild(std::string_view child) {
  auto it = LowerBound(children, child, KeyName);
  if (it == children.end() || !EqualsNoCase((*it)->name, child)) return;
  std::shared_ptr<RegKey> doomed = std::move(*it);
  children.erase(it);
  if (child_index_built_) child_index_.erase(doomed->name);
  MarkRemoved(*doomed);
}

void RegKey::DetachChildAt(size_t index) {
  if (child_index_built_) child_index_.erase(children[index]->name);
  children.erase(children.begin() + static_cast<std::ptrdiff_t>(index));
}

void RegKey::ClearChildren() {
  children.clear();
  child_index_.clear();
  child_index_built_ = false;
}

RegValue* RegKey::FindValue(std::string_view value) {
  auto it = LowerBound(values, value, ValueName);
  if (it == values.end() || !EqualsNoCase(it->name, value)) return nullptr;
  return &*it;
}

RegValue& RegKey::InsertValue(std::string_view value) {
  auto it = LowerBound(values, value, ValueName);
  if (it != values.end() && EqualsNoCase(it->name, value)) return *it;
  RegValue fresh;
  fresh.name = std::string(value);
  return *values.insert(it, std::move(fresh));
}

bool RegKey::EraseValue(std::string_view value) {
  auto it = LowerBound(values, value, ValueName);
  if (it == values.end() || !EqualsNoCase(it->name, value)) return false;
  values.erase(it);
  return true;
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
