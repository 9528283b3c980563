// A sequence kept sorted by name without regard to case, for the keys and values of a registry
// key, that stays cheap to insert into however long it grows.
//
// A key may hold tens of thousands of values or subkeys, added one at a time at places all
// over the order ("File1234" goes between "File1233" and "File124"). In one vector every
// insertion moves half of the elements after it, and filling such a key costs time that grows
// with the square of its size. Here the elements live in chunks of at most kMaxChunk, so an
// insertion moves at most one chunk.
//
// Elements are reached by index (enumeration by index is how RegEnumValueA and RegEnumKeyExA
// work): the chunk of the last index reached is remembered, so walking the indexes in order
// costs nothing per step, and any other index costs a walk over the chunks. Reading by index
// through a const reference moves that mark too: use one object from one thread at a time.
//
// Beside its elements, a chunk keeps each name's sort key (SortKeyNoCase: its first eight
// bytes folded, as one number). A search compares those numbers, which lie together in one or
// two cache lines, and reads a name only where two keys are equal. An element's name may
// therefore change in case only (as when another process's commit spells it otherwise).
#ifndef W98_SRC_REGISTRY_NAME_SORTED_H
#define W98_SRC_REGISTRY_NAME_SORTED_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/text.h"

namespace w98::internal {

// NameOf::Of(const T&) gives the element's name.
template <class T, class NameOf>
class NameSorted {
 public:
  // Chunks are split in two when they would grow past this.
  static constexpr size_t kMaxChunk = 128;

  template <bool kConst>
  class Iterator {
   public:
    using Owner = std::conditional_t<kConst, const NameSorted, NameSorted>;
    using Ref = std::conditional_t<kConst, const T&, T&>;
    Iterator(Owner* owner, size_t chunk, size_t at) : owner_(owner), chunk_(chunk), at_(at) {}
    Ref operator*() const { return owner_->chunks_[chunk_].items[at_]; }
    auto* operator->() const { return &owner_->chunks_[chunk_].items[at_]; }
    Iterator& operator++() {
      if (++at_ == owner_->chunks_[chunk_].items.size()) {
        ++chunk_;
        at_ = 0;
      }
      return *this;
    }
    bool operator==(const Iterator& other) const {
      return chunk_ == other.chunk_ && at_ == other.at_;
    }

   private:
    Owner* owner_;
    size_t chunk_;
    size_t at_;
  };
  using iterator = Iterator<false>;
  using const_iterator = Iterator<true>;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  iterator begin() { return {this, 0, 0}; }
  iterator end() { return {this, chunks_.size(), 0}; }
  const_iterator begin() const { return {this, 0, 0}; }
  const_iterator end() const { return {this, chunks_.size(), 0}; }

  // The element at `index` (< size()).
  T& operator[](size_t index) {
    Reach(index);
    return chunks_[mark_chunk_].items[index - mark_base_];
  }
  const T& operator[](size_t index) const {
    Reach(index);
    return chunks_[mark_chunk_].items[index - mark_base_];
  }

  // The index of the first element whose name is not less than `name`.
  size_t LowerBound(std::string_view name) const {
    const Place place = FindPlace(name);
    size_t base = 0;
    for (size_t c = 0; c < place.chunk; ++c) base += chunks_[c].items.size();
    return base + place.at;
  }

  // The element named `name` (any case), or nullptr.
  T* Find(std::string_view name) {
    Place place{};
    return Named(name, &place);
  }
  const T* Find(std::string_view name) const { return const_cast<NameSorted*>(this)->Find(name); }

  // Puts `item` at its place by name and returns it there. Its name must not be present.
  T& Insert(T item) {
    const Place place = FindPlace(NameOf::Of(item));  // before the item is moved from
    return InsertAt(place, std::move(item));
  }

  // The element named `name` (any case), or, when there is none, the element `make()` returns
  // put in its place; `*inserted` (when given) tells which. One search serves both cases, where
  // Find followed by Insert would search twice. `make()` must return an element named `name`.
  template <class Make>
  T& FindOrInsert(std::string_view name, Make&& make, bool* inserted = nullptr) {
    Place place{};
    T* found = Named(name, &place);
    if (inserted != nullptr) *inserted = found == nullptr;
    return found != nullptr ? *found : InsertAt(place, make());
  }

  // Removes the element at `index` (< size()).
  void EraseAt(size_t index) {
    Reach(index);
    EraseIn(mark_chunk_, index - mark_base_);
  }

  // Takes out the element named `name` (any case); nullopt when there is none.
  std::optional<T> Remove(std::string_view name) {
    Place place{};
    T* found = Named(name, &place);
    if (found == nullptr) return std::nullopt;
    std::optional<T> taken(std::move(*found));
    EraseIn(place.chunk, place.at);
    return taken;
  }

  // Removes the element named `name` (any case); false when there is none.
  bool Erase(std::string_view name) { return Remove(name).has_value(); }

  void clear() {
    chunks_.clear();
    size_ = 0;
    ForgetMark();
  }

  // Replaces the contents with `items`, which are sorted by name already.
  void AssignSorted(std::vector<T> items) {
    clear();
    size_ = items.size();
    if (items.size() <= kMaxChunk) {
      if (!items.empty()) chunks_.push_back(Chunk::Of(std::move(items)));
      return;
    }
    for (size_t from = 0; from < items.size(); from += kMaxChunk / 2) {
      const size_t to = std::min(items.size(), from + kMaxChunk / 2);
      chunks_.push_back(Chunk::Of(std::vector<T>(
          std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(from)),
          std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(to)))));
    }
  }

 private:
  // Elements and their sort keys, in step.
  struct Chunk {
    std::vector<std::uint64_t> keys;
    std::vector<T> items;

    static Chunk Of(std::vector<T> items) {
      Chunk chunk;
      chunk.keys.reserve(items.size());
      for (const T& item : items) chunk.keys.push_back(SortKeyNoCase(NameOf::Of(item)));
      chunk.items = std::move(items);
      return chunk;
    }
    // How the element at `at` orders against `name`, whose sort key is `key` (as CompareNoCase).
    int Compare(size_t at, std::string_view name, std::uint64_t key) const {
      if (keys[at] != key) return keys[at] < key ? -1 : 1;
      // The first eight bytes agree. Of names no longer than that, the shorter is first (a
      // shorter name's key has zeros where the other's has bytes, unless those are NULs).
      const std::string_view own = NameOf::Of(items[at]);
      if (own.size() <= 8 || name.size() <= 8)
        return own.size() == name.size() ? 0 : (own.size() < name.size() ? -1 : 1);
      return CompareNoCase(own.substr(8), name.substr(8));
    }
  };

  struct Place {
    size_t chunk;  // chunks_.size() when past the last element
    size_t at;     // within the chunk
  };

  // Where an element named `name` is, or would go: the first chunk whose last name is not less
  // than it, and the place in that chunk; `*equal` tells whether the element there has the name.
  Place FindPlace(std::string_view name, bool* equal = nullptr) const {
    const std::uint64_t key = SortKeyNoCase(name);
    const auto chunk = std::partition_point(chunks_.begin(), chunks_.end(), [&](const Chunk& c) {
      return c.Compare(c.keys.size() - 1, name, key) < 0;
    });
    if (equal != nullptr) *equal = false;
    if (chunk == chunks_.end()) return {chunks_.size(), 0};
    const std::vector<std::uint64_t>& keys = chunk->keys;
    // The names whose keys equal the name's lie together from `low` on. Most often there is at
    // most one; numbered names ("RefControlFile1", "RefControlFile2", ...) share theirs, and
    // only among those are names compared.
    size_t low = FirstNotBelow(keys.data(), keys.size(), key);
    if (low < keys.size() && keys[low] == key) {
      if (low + 1 == keys.size() || keys[low + 1] != key) {
        // The one name with this key: a single comparison gives both place and match.
        const int order = chunk->Compare(low, name, key);
        if (order < 0) ++low;
        if (equal != nullptr) *equal = order == 0;
      } else {
        size_t count = key == UINT64_MAX  // key + 1 would wrap round
                           ? keys.size() - low
                           : FirstNotBelow(keys.data() + low, keys.size() - low, key + 1);
        while (count > 0) {
          const size_t half = count / 2;
          if (chunk->Compare(low + half, name, key) < 0) {
            low += half + 1;
            count -= half + 1;
          } else {
            count = half;
          }
        }
        if (equal != nullptr) *equal = chunk->Compare(low, name, key) == 0;
      }
    }
    return {static_cast<size_t>(chunk - chunks_.begin()), low};
  }

  // The first of `count` ascending keys that is not below `key` (`count` when none), found
  // without a branch on the keys: their order is no pattern a processor could predict.
  static size_t FirstNotBelow(const std::uint64_t* keys, size_t count, std::uint64_t key) {
    if (count == 0) return 0;
    const std::uint64_t* base = keys;
    while (count > 1) {
      const size_t half = count / 2;
      base += half & (0 - static_cast<size_t>(base[half - 1] < key));  // a mask, not a jump
      count -= half;
    }
    return static_cast<size_t>(base - keys) + (*base < key ? 1 : 0);
  }

  // Puts `item` at `place` (from FindPlace for its name) and returns it there; a chunk that
  // grows past kMaxChunk is split in two.
  T& InsertAt(Place place, T item) {
    const std::uint64_t key = SortKeyNoCase(NameOf::Of(item));
    if (chunks_.empty()) {
      Chunk& first = chunks_.emplace_back();
      first.keys.push_back(key);
      first.items.push_back(std::move(item));
      size_ = 1;
      ForgetMark();
      return first.items[0];
    }
    if (place.chunk == chunks_.size()) {  // after the last element
      place.chunk = chunks_.size() - 1;
      place.at = chunks_.back().items.size();
    }
    Chunk& chunk = chunks_[place.chunk];
    const auto at = static_cast<std::ptrdiff_t>(place.at);
    chunk.keys.insert(chunk.keys.begin() + at, key);
    chunk.items.insert(chunk.items.begin() + at, std::move(item));
    ++size_;
    if (chunk.items.size() > kMaxChunk) {
      // The upper half becomes a chunk of its own.
      constexpr auto kHalf = static_cast<std::ptrdiff_t>(kMaxChunk / 2);
      Chunk upper;
      upper.keys.assign(chunk.keys.begin() + kHalf, chunk.keys.end());
      upper.items.assign(std::make_move_iterator(chunk.items.begin() + kHalf),
                         std::make_move_iterator(chunk.items.end()));
      chunk.keys.erase(chunk.keys.begin() + kHalf, chunk.keys.end());
      chunk.items.erase(chunk.items.begin() + kHalf, chunk.items.end());
      chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(place.chunk) + 1,
                     std::move(upper));
      if (place.at >= kMaxChunk / 2) {
        ++place.chunk;
        place.at -= kMaxChunk / 2;
      }
    }
    ForgetMark();
    return chunks_[place.chunk].items[place.at];
  }

  // The element named `name` (any case) with its place in `*place`, or nullptr. Lookups by name
  // never count the elements before the place (only LowerBound needs that).
  T* Named(std::string_view name, Place* place) {
    bool equal = false;
    *place = FindPlace(name, &equal);
    return equal ? &chunks_[place->chunk].items[place->at] : nullptr;
  }

  // Removes the element at `at` in chunk `chunk`, and the chunk when it empties.
  void EraseIn(size_t chunk, size_t at) {
    Chunk& elements = chunks_[chunk];
    elements.keys.erase(elements.keys.begin() + static_cast<std::ptrdiff_t>(at));
    elements.items.erase(elements.items.begin() + static_cast<std::ptrdiff_t>(at));
    if (elements.items.empty()) chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(chunk));
    --size_;
    ForgetMark();
  }

  // Moves the mark to the chunk holding `index` (< size()).
  void Reach(size_t index) const {
    if (index < mark_base_) ForgetMark();
    while (index - mark_base_ >= chunks_[mark_chunk_].items.size()) {
      mark_base_ += chunks_[mark_chunk_].items.size();
      ++mark_chunk_;
    }
  }
  void ForgetMark() const {
    mark_chunk_ = 0;
    mark_base_ = 0;
  }

  std::vector<Chunk> chunks_;  // none empty
  size_t size_ = 0;
  // The chunk last reached by index, and the index of its first element.
  mutable size_t mark_chunk_ = 0;
  mutable size_t mark_base_ = 0;
};

}  // namespace w98::internal

#endif  // W98_SRC_REGISTRY_NAME_SORTED_H
