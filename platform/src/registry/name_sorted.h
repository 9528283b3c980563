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
#ifndef W98_SRC_REGISTRY_NAME_SORTED_H
#define W98_SRC_REGISTRY_NAME_SORTED_H

#include <algorithm>
#include <cstddef>
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
    Ref operator*() const { return owner_->chunks_[chunk_][at_]; }
    auto* operator->() const { return &owner_->chunks_[chunk_][at_]; }
    Iterator& operator++() {
      if (++at_ == owner_->chunks_[chunk_].size()) {
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
    return chunks_[mark_chunk_][index - mark_base_];
  }
  const T& operator[](size_t index) const {
    Reach(index);
    return chunks_[mark_chunk_][index - mark_base_];
  }

  // The index of the first element whose name is not less than `name`.
  size_t LowerBound(std::string_view name) const {
    const Place place = FindPlace(name);
    size_t base = 0;
    for (size_t c = 0; c < place.chunk; ++c) base += chunks_[c].size();
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
      if (!items.empty()) chunks_.push_back(std::move(items));
      return;
    }
    for (size_t from = 0; from < items.size(); from += kMaxChunk / 2) {
      const size_t to = std::min(items.size(), from + kMaxChunk / 2);
      chunks_.emplace_back(
          std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(from)),
          std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(to)));
    }
  }

 private:
  struct Place {
    size_t chunk;  // chunks_.size() when past the last element
    size_t at;     // within the chunk
  };

  // Where an element named `name` is, or would go: the first chunk whose last name is not less
  // than it, and the place in that chunk.
  Place FindPlace(std::string_view name) const {
    const auto less = [](const T& item, std::string_view n) {
      return CompareNoCase(NameOf::Of(item), n) < 0;
    };
    const auto chunk =
        std::partition_point(chunks_.begin(), chunks_.end(),
                             [&](const std::vector<T>& c) { return less(c.back(), name); });
    if (chunk == chunks_.end()) return {chunks_.size(), 0};
    const auto it = std::lower_bound(chunk->begin(), chunk->end(), name, less);
    return {static_cast<size_t>(chunk - chunks_.begin()), static_cast<size_t>(it - chunk->begin())};
  }

  // Puts `item` at `place` (from FindPlace for its name) and returns it there; a chunk that
  // grows past kMaxChunk is split in two.
  T& InsertAt(Place place, T item) {
    if (chunks_.empty()) {
      chunks_.emplace_back().push_back(std::move(item));
      size_ = 1;
      ForgetMark();
      return chunks_[0][0];
    }
    if (place.chunk == chunks_.size()) {  // after the last element
      place.chunk = chunks_.size() - 1;
      place.at = chunks_.back().size();
    }
    std::vector<T>& chunk = chunks_[place.chunk];
    chunk.insert(chunk.begin() + static_cast<std::ptrdiff_t>(place.at), std::move(item));
    ++size_;
    if (chunk.size() > kMaxChunk) {
      // The upper half becomes a chunk of its own.
      std::vector<T> upper(std::make_move_iterator(chunk.begin() + kMaxChunk / 2),
                           std::make_move_iterator(chunk.end()));
      chunk.erase(chunk.begin() + kMaxChunk / 2, chunk.end());
      chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(place.chunk) + 1,
                     std::move(upper));
      if (place.at >= kMaxChunk / 2) {
        ++place.chunk;
        place.at -= kMaxChunk / 2;
      }
    }
    ForgetMark();
    return chunks_[place.chunk][place.at];
  }

  // The element named `name` (any case) with its place in `*place`, or nullptr. Lookups by name
  // never count the elements before the place (only LowerBound needs that).
  T* Named(std::string_view name, Place* place) {
    *place = FindPlace(name);
    if (place->chunk == chunks_.size()) return nullptr;  // else `at` is inside the chunk
    T& found = chunks_[place->chunk][place->at];
    return EqualsNoCase(NameOf::Of(found), name) ? &found : nullptr;
  }

  // Removes the element at `at` in chunk `chunk`, and the chunk when it empties.
  void EraseIn(size_t chunk, size_t at) {
    std::vector<T>& elements = chunks_[chunk];
    elements.erase(elements.begin() + static_cast<std::ptrdiff_t>(at));
    if (elements.empty()) chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(chunk));
    --size_;
    ForgetMark();
  }

  // Moves the mark to the chunk holding `index` (< size()).
  void Reach(size_t index) const {
    if (index < mark_base_) ForgetMark();
    while (index - mark_base_ >= chunks_[mark_chunk_].size()) {
      mark_base_ += chunks_[mark_chunk_].size();
      ++mark_chunk_;
    }
  }
  void ForgetMark() const {
    mark_chunk_ = 0;
    mark_base_ = 0;
  }

  std::vector<std::vector<T>> chunks_;  // none empty
  size_t size_ = 0;
  // The chunk last reached by index, and the index of its first element.
  mutable size_t mark_chunk_ = 0;
  mutable size_t mark_base_ = 0;
};

}  // namespace w98::internal

#endif  // W98_SRC_REGISTRY_NAME_SORTED_H
