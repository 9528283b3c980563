// Text helpers shared by w98: case-insensitive comparison as Windows 98 folds names (ASCII
// letters only; bytes of 0x80 and above compare exactly).
#ifndef W98_SRC_CORE_TEXT_H
#define W98_SRC_CORE_TEXT_H

#include <string>
#include <string_view>

namespace w98::internal {

inline char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

// Orders names as Windows sorts them for display: case-insensitively, then by bytes.
inline int CompareNoCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(FoldCase(a[i]));
    const unsigned char y = static_cast<unsigned char>(FoldCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

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
