#include "version/version_resource.h"

#include <vector>

#include "version/version_tree.h"

namespace w98::internal {
namespace {

constexpr std::uint16_t kRtVersion = 16;
constexpr std::uint32_t kMaxVersionResource = 0xFFFF;  // a root's wLength is a WORD
constexpr std::uint32_t kMaxDirectoryEntries = 4096;
constexpr std::uint16_t kMaxSections = 96;  // the most a Windows loader accepts

// The root of a version tree must fit the resource and be a readable block (header and a
// terminated key); the resource is cut to the root's length.
bool CheckRoot(std::string& bytes, bool sixteen_bit) {
  const size_t header = sixteen_bit ? 4 : 6;
  if (bytes.size() < header + 2) return false;
  const std::uint16_t length = static_cast<std::uint16_t>(
      static_cast<unsigned char>(bytes[0]) | (static_cast<unsigned char>(bytes[1]) << 8));
  if (length < header + 2 || length > bytes.size()) return false;
  bytes.resize(length);
  return VersionTree(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())
      .Root()
      .has_value();
}

// ---- PE ----------------------------------------------------------------------------------

struct Section {
  std::uint32_t virtual_address, virtual_size, raw_size, raw_offset;
};

class PeImage {
 public:
  PeImage(const ByteSource& source, std::vector<Section> sections)
      : source_(source), sections_(std::move(sections)) {}

  // File offset of `n` bytes at `rva`, all inside one section's raw data.
  std::optional<std::uint64_t> Offset(std::uint32_t rva, std::uint32_t n) const {
    for (const Section& s : sections_) {
      if (rva < s.virtual_address) continue;
      const std::uint64_t into = std::uint64_t{rva} - s.virtual_address;
      const std::uint32_t span =
          s.virtual_size != 0 && s.virtual_size < s.raw_size ? s.virtual_size : s.raw_size;
      if (into + n > span) continue;
      return std::uint64_t{s.raw_offset} + into;
    }
    return std::nullopt;
  }
  bool U32(std::uint32_t rva, std::uint32_t& out) const {
    auto at = Offset(rva, 4);
    return at && source_.U32(*at, out);
  }
  bool U16(std::uint32_t rva, std::uint16_t& out) const {
    auto at = Offset(rva, 2);
    return at && source_.U16(*at, out);
  }

 private:
  const ByteSource& source_;
  std::vector<Section> sections_;
};

struct DirEntry {
  std::uint32_t name, target;
};

// The entries of the resource directory at `rva` (16-byte header, then 8-byte entries).
std::optional<std::vector<DirEntry>> ReadDirectory(const PeImage& image, std::uint32_t rva) {
  std::uint16_t named = 0, ids = 0;
  if (!image.U16(rva + 12, named) || !image.U16(rva + 14, ids)) return std::nullopt;
  const std::uint32_t count = std::uint32_t{named} + ids;
  if (count > kMaxDirectoryEntries) return std::nullopt;
  std::vector<DirEntry> entries(count);
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::uint32_t at = rva + 16 + k * 8;
    if (at < rva || !image.U32(at, entries[k].name) || !image.U32(at + 4, entries[k].target))
      return std::nullopt;
  }
  return entries;
}

constexpr std::uint32_t kSubdirectory = 0x80000000u;

// The entry with integer id `id`, else (when `any`) the first entry of the wanted kind.
const DirEntry* Pick(const std::vector<DirEntry>& entries, std::uint32_t id, bool any,
                     bool want_subdirectory) {
  for (const DirEntry& e : entries)
    if (e.name == id && ((e.target & kSubdirectory) != 0) == want_subdirectory) return &e;
  if (!any) return nullptr;
  for (const DirEntry& e : entries)
    if (((e.target & kSubdirectory) != 0) == want_subdirectory) return &e;
  return nullptr;
}

std::optional<VersionResource> FromPe(const ByteSource& source, std::uint32_t pe) {
  std::uint16_t section_count = 0, optional_size = 0, magic = 0;
  if (!source.U16(pe + 6, section_count) || !source.U16(pe + 20, optional_size) ||
      !source.U16(pe + 24, magic))
    return std::nullopt;
  std::uint32_t directories = 0;  // offset of the data directories in the optional header
  if (magic == 0x10B)
    directories = 96;
  else if (magic == 0x20B)
    directories = 112;
  else
    return std::nullopt;
  std::uint32_t directory_count = 0, resource_rva = 0, resource_size = 0;
  if (!source.U32(pe + 24 + directories - 4, directory_count) || directory_count < 3 ||
      optional_size < directories + 3 * 8 ||
      !source.U32(pe + 24 + directories + 16, resource_rva) ||
      !source.U32(pe + 24 + directories + 20, resource_size) || resource_rva == 0)
    return std::nullopt;
  if (section_count == 0 || section_count > kMaxSections) return std::nullopt;
  std::vector<Section> sections(section_count);
  const std::uint64_t table = std::uint64_t{pe} + 24 + optional_size;
  for (std::uint16_t k = 0; k < section_count; ++k) {
    Section& s = sections[k];
    const std::uint64_t at = table + k * 40ULL;
    if (!source.U32(at + 8, s.virtual_size) || !source.U32(at + 12, s.virtual_address) ||
        !source.U32(at + 16, s.raw_size) || !source.U32(at + 20, s.raw_offset))
      return std::nullopt;
  }
  PeImage image(source, std::move(sections));

  // type 16 -> name (id 1 preferred) -> language (neutral, then US English, then any)
  auto types = ReadDirectory(image, resource_rva);
  if (!types) return std::nullopt;
  const DirEntry* type = Pick(*types, kRtVersion, false, true);
  if (type == nullptr) return std::nullopt;
  auto names = ReadDirectory(image, resource_rva + (type->target & ~kSubdirectory));
  if (!names) return std::nullopt;
  const DirEntry* name = Pick(*names, 1, true, true);
  if (name == nullptr) return std::nullopt;
  auto languages = ReadDirectory(image, resource_rva + (name->target & ~kSubdirectory));
  if (!languages) return std::nullopt;
  const DirEntry* language = Pick(*languages, 0, false, false);
  if (language == nullptr) language = Pick(*languages, 0x409, true, false);
  if (language == nullptr) return std::nullopt;

  std::uint32_t data_rva = 0, data_size = 0;
  if (!image.U32(resource_rva + language->target, data_rva) ||
      !image.U32(resource_rva + language->target + 4, data_size))
    return std::nullopt;
  if (data_size > kMaxVersionResource) data_size = kMaxVersionResource;
  auto at = image.Offset(data_rva, data_size);
  VersionResource out;
  if (!at || !source.Bytes(*at, data_size, out.bytes) || !CheckRoot(out.bytes, false))
    return std::nullopt;
  return out;
}

// ---- NE ----------------------------------------------------------------------------------

std::optional<VersionResource> FromNe(const ByteSource& source, std::uint32_t ne) {
  std::uint16_t table_offset = 0, resident_names = 0;
  if (!source.U16(ne + 0x24, table_offset) || !source.U16(ne + 0x26, resident_names))
    return std::nullopt;
  if (table_offset == 0 || table_offset == resident_names) return std::nullopt;  // no resources
  // The resource table ends where the resident-name table begins (when that follows it).
  const std::uint64_t begin = std::uint64_t{ne} + table_offset;
  const std::uint64_t end =
      resident_names > table_offset ? std::uint64_t{ne} + resident_names : source.Size();
  std::uint16_t shift = 0;
  if (!source.U16(begin, shift) || shift > 16) return std::nullopt;
  std::uint64_t at = begin + 2;
  for (int types = 0; types < 256; ++types) {
    std::uint16_t type_id = 0, count = 0;
    if (at + 2 > end || !source.U16(at, type_id)) return std::nullopt;
    if (type_id == 0) return std::nullopt;  // end of the table: no version resource
    if (at + 8 > end || !source.U16(at + 2, count)) return std::nullopt;
    at += 8;
    if (at + count * 12ULL > end) return std::nullopt;
    if (type_id == (0x8000 | kRtVersion) && count > 0) {
      std::uint16_t offset = 0, length = 0;
      if (!source.U16(at, offset) || !source.U16(at + 2, length)) return std::nullopt;
      std::uint64_t size = std::uint64_t{length} << shift;
      if (size > kMaxVersionResource) size = kMaxVersionResource;
      VersionResource out;
      out.sixteen_bit = true;
      if (!source.Bytes(std::uint64_t{offset} << shift, static_cast<size_t>(size), out.bytes) ||
          !CheckRoot(out.bytes, true))
        return std::nullopt;
      return out;
    }
    at += count * 12ULL;
  }
  return std::nullopt;
}

}  // namespace

std::optional<VersionResource> FindVersionResource(const ByteSource& source) {
  std::uint16_t mz = 0;
  std::uint32_t header = 0;
  if (!source.U16(0, mz) || mz != 0x5A4D || !source.U32(0x3C, header) || header < 0x40)
    return std::nullopt;
  std::uint32_t signature = 0;
  std::uint16_t short_signature = 0;
  if (source.U32(header, signature) && signature == 0x00004550) return FromPe(source, header);
  if (source.U16(header, short_signature) && short_signature == 0x454E)
    return FromNe(source, header);
  return std::nullopt;
}

}  // namespace w98::internal
