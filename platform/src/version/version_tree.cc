#include "version/version_tree.h"

#include "core/text.h"

namespace w98::internal {
namespace {

size_t Align4(size_t n) {
  return (n + 3) & ~size_t{3};
}

// Windows-1252 bytes 0x80 to 0x9F and the characters they stand for (0 where undefined).
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

char AnsiFromUtf16(std::uint16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int k = 0; k < 32; ++k)
    if (kCp1252High[k] == c) return static_cast<char>(0x80 + k);
  return '?';
}

VersionTree::VersionTree(const unsigned char* data, size_t size)
    : data_(data), size_(size), sixteen_bit_(size > 4 && data[4] >= 0x20) {}

std::optional<VersionBlock> VersionTree::Parse(size_t begin, size_t limit) const {
  const size_t header = sixteen_bit_ ? 4 : 6;
  if (begin >= limit || limit - begin < header) return std::nullopt;
  const std::uint16_t length = Word(begin);
  if (length < header) return std::nullopt;
  VersionBlock block;
  block.begin = begin;
  block.end = limit - begin < length ? limit : begin + length;
  block.value_length = Word(begin + 2);
  block.text = !sixteen_bit_ && Word(begin + 4) == 1;

  // The key, NUL-terminated inside the block.
  size_t at = begin + header;
  const size_t unit = sixteen_bit_ ? 1 : 2;
  for (;;) {
    if (block.end - at < unit) return std::nullopt;
    const std::uint16_t c = sixteen_bit_ ? data_[at] : Word(at);
    at += unit;
    if (c == 0) break;
    block.key += sixteen_bit_ ? static_cast<char>(c) : AnsiFromUtf16(c);
  }
  block.value_offset = Align4(at) < block.end ? Align4(at) : block.end;
  const size_t wanted = block.text ? size_t{block.value_length} * 2 : block.value_length;
  const size_t room = block.end - block.value_offset;
  block.value_bytes = wanted < room ? wanted : room;
  const size_t children = Align4(block.value_offset + block.value_bytes);
  block.children = children < block.end ? children : block.end;
  return block;
}

std::vector<VersionBlock> VersionTree::Children(const VersionBlock& parent) const {
  std::vector<VersionBlock> out;
  size_t at = parent.children;
  while (at < parent.end) {
    auto child = Parse(at, parent.end);
    if (!child) break;
    at = Align4(child->end);
    out.push_back(std::move(*child));
  }
  return out;
}

std::optional<VersionBlock> VersionTree::Find(std::string_view path) const {
  auto block = Root();
  size_t pos = 0;
  while (block && pos < path.size()) {
    size_t next = path.find('\\', pos);
    if (next == std::string_view::npos) next = path.size();
    const std::string_view part = path.substr(pos, next - pos);
    pos = next + 1;
    if (part.empty()) continue;
    std::optional<VersionBlock> found;
    for (VersionBlock& child : Children(*block)) {
      if (EqualsNoCase(child.key, part)) {
        found = std::move(child);
        break;
      }
    }
    block = std::move(found);
  }
  return block;
}

}  // namespace w98::internal
