#include "version/version_info.h"

#include <cstring>
#include <vector>

#include "version/version_tree.h"

namespace w98::internal {
namespace {

size_t Align4(size_t n) {
  return (n + 3) & ~size_t{3};
}

bool IsSixteenBit(const std::string& tree) {
  return tree.size() > 4 && static_cast<unsigned char>(tree[4]) >= 0x20;
}

void CopyTexts(const VersionTree& tree, const VersionBlock& block, const unsigned char* data,
               char* copies, int depth) {
  if (block.text && block.value_bytes >= 2) {
    char* out = copies + block.value_offset / 2;
    const size_t chars = block.value_bytes / 2;
    for (size_t k = 0; k < chars; ++k)
      out[k] = AnsiFromUtf16(static_cast<std::uint16_t>(
          data[block.value_offset + 2 * k] | (data[block.value_offset + 2 * k + 1] << 8)));
    out[chars] = '\0';
  }
  if (depth >= 16) return;  // real trees are four levels deep
  for (const VersionBlock& child : tree.Children(block))
    CopyTexts(tree, child, data, copies, depth + 1);
}

}  // namespace

size_t VersionInfoSize(const VersionResource& resource) {
  const size_t tree = resource.bytes.size();
  if (IsSixteenBit(resource.bytes)) return tree;
  return Align4(tree) + 4 + Align4(tree / 2 + 2);
}

std::string BuildVersionInfo(const VersionResource& resource) {
  std::string out(VersionInfoSize(resource), '\0');
  std::memcpy(out.data(), resource.bytes.data(), resource.bytes.size());
  if (IsSixteenBit(resource.bytes)) return out;
  const size_t signature = Align4(resource.bytes.size());
  std::memcpy(out.data() + signature, "FE2X", 4);
  const auto* data = reinterpret_cast<const unsigned char*>(resource.bytes.data());
  VersionTree tree(data, resource.bytes.size());
  if (auto root = tree.Root()) CopyTexts(tree, *root, data, out.data() + signature + 4, 0);
  return out;
}

bool QueryVersionInfo(const unsigned char* info, std::string_view path, const void** value,
                      unsigned* length) {
  const size_t size = static_cast<size_t>(info[0] | (info[1] << 8));
  if (size < 8) return false;
  VersionTree tree(info, size);
  auto block = tree.Find(path);
  if (!block) return false;
  unsigned n = block->value_length;
  const unsigned char* at = info + block->value_offset;
  if (block->text) {
    const size_t signature = Align4(size);
    if (std::memcmp(info + signature, "FE2X", 4) != 0) return false;
    at = info + signature + 4 + block->value_offset / 2;
    if (n > block->value_bytes / 2) n = static_cast<unsigned>(block->value_bytes / 2);
  } else if (n > block->value_bytes) {
    n = static_cast<unsigned>(block->value_bytes);
  }
  *value = at;
  *length = n;
  return true;
}

}  // namespace w98::internal
