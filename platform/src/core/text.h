// Text helpers shared by w98: case-insensitive comparison as Windows 98 folds names (ASCII
// letters only; bytes of 0x80 and above compare exactly).
#ifndef W98_SRC_CORE_TEXT_H
#define W98_SRC_CORE_TEXT_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace w98::internal {

inline char FoldCase(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Names are compared eight bytes at a time: registry and file names run to dozens of characters
// and are compared on every look-up, and a byte loop spends most of its time on bytes that are
// equal. The first byte of a word is its lowest (the host is little-endian).
static_assert(std::endian::native == std::endian::little);

namespace text_words {

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;

inline std::uint64_t Load(const char* at) {
  std::uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// The first `count` (< 8) bytes at `at`, the rest zero, read without touching a byte past them:
// two overlapping four-byte reads, or three single bytes.
inline std::uint64_t LoadPart(const char* at, size_t count) {
  if (count >= 4) {
    std::uint32_t low, high;
    std::memcpy(&low, at, 4);
    std::memcpy(&high, at + count - 4, 4);
    return low | (std::uint64_t{high} << (8 * (count - 4)));
  }
  if (count == 0) return 0;
  const auto byte = [at](size_t i) { return std::uint64_t{static_cast<unsigned char>(at[i])}; };
  return byte(0) | (byte(count / 2) << (8 * (count / 2))) | (byte(count - 1) << (8 * (count - 1)));
}

// FoldCase of each byte of `word`. No byte's sum carries into the next: each adds at most 0x1F
// to a value below 0x80.
inline std::uint64_t Fold(std::uint64_t word) {
  const std::uint64_t low7 = word & (0x7F * kOnes);
  const std::uint64_t from_a = low7 + (0x80 - 'a') * kOnes;      // top bit: low7 >= 'a'
  const std::uint64_t past_z = low7 + (0x80 - 'z' - 1) * kOnes;  // top bit: low7 > 'z'
  const std::uint64_t lower = from_a & ~past_z & ~word & (0x80 * kOnes);
  return word - (lower >> 2);  // 0x20 off each lower-case letter
}

// How the first differing byte of two different words orders them: -1 or 1.
inline int Order(std::uint64_t a, std::uint64_t b) {
  const int shift = std::countr_zero(a ^ b) & ~7;
  return ((a >> shift) & 0xFF) < ((b >> shift) & 0xFF) ? -1 : 1;
}

}  // namespace text_words

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  using namespace text_words;
  if (a.size() != b.size()) return false;
  const size_t n = a.size();
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const std::uint64_t x = Load(a.data() + i), y = Load(b.data() + i);
    if (x != y && Fold(x) != Fold(y)) return false;
  }
  return i == n || Fold(LoadPart(a.data() + i, n - i)) == Fold(LoadPart(b.data() + i, n - i));
}

// Orders names as Windows sorts them for display: case-insensitively, the shorter of two names
// that agree as far as it goes first.
inline int CompareNoCase(std::string_view a, std::string_view b) {
  using namespace text_words;
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const std::uint64_t x = Load(a.data() + i), y = Load(b.data() + i);
    if (x == y) continue;
    const std::uint64_t fx = Fold(x), fy = Fold(y);
    if (fx != fy) return Order(fx, fy);
  }
  if (i < n) {
    const std::uint64_t fx = Fold(LoadPart(a.data() + i, n - i));
    const std::uint64_t fy = Fold(LoadPart(b.data() + i, n - i));
    if (fx != fy) return Order(fx, fy);
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// A number that orders names as CompareNoCase does wherever two names' numbers differ: the
// first eight bytes folded, the first byte highest, zeros past the name's end. Names whose
// numbers are equal agree in their first eight bytes and need a full comparison.
inline std::uint64_t SortKeyNoCase(std::string_view name) {
  using namespace text_words;
  const std::uint64_t head =
      name.size() >= 8 ? Load(name.data()) : LoadPart(name.data(), name.size());
  return __builtin_bswap64(Fold(head));
}

// A hash of a name that ignores case: names that EqualsNoCase calls equal hash alike.
inline size_t HashNoCase(std::string_view name) {
  using namespace text_words;
  std::uint64_t hash = 0x9E3779B97F4A7C15ULL ^ name.size();
  const auto mix = [&hash](std::uint64_t word) {
    hash = (hash ^ Fold(word)) * 0xBF58476D1CE4E5B9ULL;
    hash ^= hash >> 31;
  };
  size_t i = 0;
  for (; i + 8 <= name.size(); i += 8) mix(Load(name.data() + i));
  if (i < name.size()) mix(LoadPart(name.data() + i, name.size() - i));
  return static_cast<size_t>(hash);
}

// Hash and equality for containers keyed by names without regard to case.
struct NoCaseHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return HashNoCase(name); }
};
struct NoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return EqualsNoCase(a, b); }
};

inline std::string UpperCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = FoldCase(c);
  return out;
}

inline std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// Copies `text` into a caller's buffer of `size` bytes as a NUL-terminated string, cutting it
// to fit. Returns the number of characters copied (without the NUL).
size_t CopyToBuffer(std::string_view text, char* buffer, size_t size);

}  // namespace w98::internal

#endif  // W98_SRC_CORE_TEXT_H
