// Reading a VS_VERSIONINFO tree: blocks of { wLength, wValueLength, [wType,] key, value,
// children }, each starting on a 4-byte boundary. 32-bit trees (PE files) have a wType and
// UTF-16 keys and texts; 16-bit trees (NE files) have no wType and ANSI keys and texts. A
// block's wLength covers its children; every size is clamped to the enclosing block, and a
// block that does not fit ends its parent's list of children.
#ifndef W98_SRC_VERSION_VERSION_TREE_H
#define W98_SRC_VERSION_VERSION_TREE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace w98::internal {

struct VersionBlock {
  size_t begin = 0;                // offset of the block in the tree
  size_t end = 0;                  // one past its last byte (clamped to its parent)
  std::string key;                 // ANSI
  size_t value_offset = 0;         // offset of the value in the tree
  size_t value_bytes = 0;          // bytes of value inside the block
  std::uint16_t value_length = 0;  // wValueLength as stored
  bool text = false;               // a 32-bit block of wType 1 (UTF-16 text)
  size_t children = 0;             // offset of the first child
};

class VersionTree {
 public:
  // `data` holds `size` bytes: the root block's wLength. The bytes are not copied.
  VersionTree(const unsigned char* data, size_t size);

  // True for the 16-bit form. As Windows tells them apart: in a 16-bit block the byte at
  // offset 4 is the first key character; in a 32-bit block it is wType (0 or 1).
  bool SixteenBit() const { return sixteen_bit_; }

  std::optional<VersionBlock> Root() const { return Parse(0, size_); }
  std::vector<VersionBlock> Children(const VersionBlock& parent) const;
  // The block that a VerQueryValue path names ("\", "\StringFileInfo\040904b0\FileVersion");
  // components compare case-insensitively, empty components are skipped.
  std::optional<VersionBlock> Find(std::string_view path) const;

 private:
  std::optional<VersionBlock> Parse(size_t begin, size_t limit) const;
  std::uint16_t Word(size_t at) const {
    return static_cast<std::uint16_t>(data_[at] | (data_[at + 1] << 8));
  }

  const unsigned char* data_;
  size_t size_;
  bool sixteen_bit_;
};

// One UTF-16 character as the ANSI (Windows-1252) byte Windows 98 would give it; '?' when the
// code page has no such character.
char AnsiFromUtf16(std::uint16_t c);

}  // namespace w98::internal

#endif  // W98_SRC_VERSION_VERSION_TREE_H
