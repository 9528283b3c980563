#include "version/pe_writer.h"

#include <cstdio>

namespace w98::internal {
namespace {

// Little-endian output with placeholders that are filled in later.
class Writer {
 public:
  size_t Size() const { return out_.size(); }
  void U8(unsigned v) { out_.push_back(static_cast<char>(v & 0xFF)); }
  void U16(unsigned v) {
    U8(v);
    U8(v >> 8);
  }
  void U32(std::uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v));
    U32(static_cast<std::uint32_t>(v >> 32));
  }
  void Bytes(const std::string& s) { out_ += s; }
  void Zeros(size_t n) { out_.append(n, '\0'); }
  void PadTo(size_t multiple) {
    while (out_.size() % multiple != 0) out_.push_back('\0');
  }
  void PadToOffset(size_t offset) {
    if (out_.size() < offset) out_.resize(offset, '\0');
  }
  void Put16(size_t at, unsigned v) {
    out_[at] = static_cast<char>(v & 0xFF);
    out_[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  }
  void Put32(size_t at, std::uint32_t v) {
    Put16(at, v & 0xFFFF);
    Put16(at + 2, v >> 16);
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

// ---- the version tree ----------------------------------------------------------------------

struct Block {
  std::string key;
  bool text = false;      // wType 1 (32-bit form)
  std::string value;      // raw value bytes in the file's form
  unsigned value_length;  // wValueLength
  std::vector<Block> children;
};

std::string Utf16(const std::string& ansi) {
  std::string out;
  for (char c : ansi) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

void WriteBlock(Writer& w, const Block& block, bool sixteen_bit) {
  w.PadTo(4);
  const size_t begin = w.Size();
  w.U16(0);  // wLength, filled in below
  w.U16(block.value_length);
  if (!sixteen_bit) w.U16(block.text ? 1 : 0);
  if (sixteen_bit) {
    w.Bytes(block.key);
    w.U8(0);
  } else {
    w.Bytes(Utf16(block.key));
    w.U16(0);
  }
  if (!block.value.empty()) {
    w.PadTo(4);
    w.Bytes(block.value);
  }
  for (const Block& child : block.children) WriteBlock(w, child, sixteen_bit);
  w.Put16(begin, static_cast<unsigned>(w.Size() - begin));
}

Block TextBlock(const std::string& key, const std::string& text, bool sixteen_bit) {
  Block b;
  b.key = key;
  b.text = true;
  if (sixteen_bit) {
    b.value = text + '\0';
    b.value_length = static_cast<unsigned>(text.size() + 1);
  } else {
    b.value = Utf16(text) + std::string(2, '\0');
    b.value_length = static_cast<unsigned>(text.size() + 1);  // characters, with the NUL
  }
  return b;
}

Block Parent(const std::string& key) {
  Block b;
  b.key = key;
  b.text = true;
  b.value_length = 0;
  return b;
}

std::string FixedFileInfo(const VersionSpec& wanted, bool sixteen_bit) {
  Writer w;
  auto ms = [](const std::array<std::uint16_t, 4>& v) {
    return (std::uint32_t{v[0]} << 16) | v[1];
  };
  auto ls = [](const std::array<std::uint16_t, 4>& v) {
    return (std::uint32_t{v[2]} << 16) | v[3];
  };
  w.U32(0xFEEF04BD);  // dwSignature
  w.U32(0x00010000);  // dwStrucVersion
  w.U32(ms(wanted.file_version));
  w.U32(ls(wanted.file_version));
  w.U32(ms(wanted.product_version));
  w.U32(ls(wanted.product_version));
  w.U32(0x3F);                                   // dwFileFlagsMask
  w.U32(0);                                      // dwFileFlags
  w.U32(sixteen_bit ? 0x00010001 : 0x00010004);  // VOS_DOS_WINDOWS16 / VOS_DOS_WINDOWS32
  w.U32(wanted.dll ? 2 : 1);                     // VFT_DLL / VFT_APP
  w.U32(0);                                      // dwFileSubtype
  w.U32(0);                                      // dwFileDateMS
  w.U32(0);                                      // dwFileDateLS
  return w.Take();
}

// ---- executables -------------------------------------------------------------------------

// The real-mode stub every Windows executable starts with: prints a message and exits.
void WriteDosStub(Writer& w, std::uint32_t new_header) {
  w.Bytes("MZ");
  w.U16(0x90);  // bytes on the last page
  w.U16(3);     // pages
  w.U16(0);     // relocations
  w.U16(4);     // header paragraphs
  w.U16(0);     // minimum extra paragraphs
  w.U16(0xFFFF);
  w.U16(0);     // ss
  w.U16(0xB8);  // sp
  w.U16(0);     // checksum
  w.U16(0);     // ip
  w.U16(0);     // cs
  w.U16(0x40);  // relocation table: 0x40 marks a new-style executable
  w.U16(0);     // overlay
  w.PadToOffset(0x3C);
  w.U32(new_header);
  static const unsigned char kCode[] = {0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09,
                                        0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21};
  for (unsigned char c : kCode) w.U8(c);
  w.Bytes("This program cannot be run in DOS mode.\r\r\n$");
  w.PadToOffset(new_header);
}

constexpr std::uint32_t kNewHeader = 0x80;

std::string BuildPe(bool pe64, const VersionSpec& wanted, const std::string& tree) {
  constexpr std::uint32_t kFileAlign = 0x200, kSectionAlign = 0x1000, kRsrcRva = 0x1000;
  // .rsrc: three one-entry directories (type 16, name 1, language), one data entry, the tree.
  Writer rsrc;
  auto directory = [&](std::uint32_t id, std::uint32_t target) {
    rsrc.U32(0);  // characteristics
    rsrc.U32(0);  // time stamp
    rsrc.U32(0);  // version
    rsrc.U16(0);  // named entries
    rsrc.U16(1);  // id entries
    rsrc.U32(id);
    rsrc.U32(target);
  };
  directory(16, 0x80000000u | 0x18);
  directory(1, 0x80000000u | 0x30);
  directory(wanted.language, 0x48);
  rsrc.U32(kRsrcRva + 0x58);  // data RVA
  rsrc.U32(static_cast<std::uint32_t>(tree.size()));
  rsrc.U32(0);  // code page
  rsrc.U32(0);
  rsrc.Bytes(tree);
  const std::uint32_t rsrc_size = static_cast<std::uint32_t>(rsrc.Size());
  rsrc.PadTo(kFileAlign);
  const std::uint32_t rsrc_raw = static_cast<std::uint32_t>(rsrc.Size());

  Writer w;
  WriteDosStub(w, kNewHeader);
  w.Bytes(std::string("PE\0\0", 4));
  w.U16(pe64 ? 0x8664 : 0x014C);  // machine
  w.U16(1);                       // sections
  w.U32(0x35B4C480);              // time stamp (1998)
  w.U32(0);
  w.U32(0);
  w.U16(pe64 ? 240 : 224);  // optional header size
  w.U16((wanted.dll ? 0x2000 : 0) | (pe64 ? 0x0022 : 0x0102));
  // Optional header.
  w.U16(pe64 ? 0x20B : 0x10B);
  w.U8(5);  // linker version
  w.U8(12);
  w.U32(0);         // code size
  w.U32(rsrc_raw);  // initialised data size
  w.U32(0);         // uninitialised data size
  w.U32(0);         // entry point: none
  w.U32(kRsrcRva);  // base of code
  if (pe64) {
    w.U64(wanted.dll ? 0x180000000ULL : 0x140000000ULL);
  } else {
    w.U32(kRsrcRva);  // base of data
    w.U32(wanted.dll ? 0x10000000u : 0x00400000u);
  }
  w.U32(kSectionAlign);
  w.U32(kFileAlign);
  w.U16(4);  // OS version 4.0
  w.U16(0);
  w.U16(wanted.file_version[0]);  // image version
  w.U16(wanted.file_version[1]);
  w.U16(4);  // subsystem version 4.0
  w.U16(0);
  w.U32(0);
  w.U32(kRsrcRva + ((rsrc_size + kSectionAlign - 1) / kSectionAlign) * kSectionAlign);
  w.U32(kFileAlign);  // headers size
  w.U32(0);           // checksum
  w.U16(2);           // subsystem: Windows GUI
  w.U16(0);
  if (pe64) {
    w.U64(0x100000);
    w.U64(0x1000);
    w.U64(0x100000);
    w.U64(0x1000);
  } else {
    w.U32(0x100000);
    w.U32(0x1000);
    w.U32(0x100000);
    w.U32(0x1000);
  }
  w.U32(0);   // loader flags
  w.U32(16);  // data directories
  for (int k = 0; k < 16; ++k) {
    w.U32(k == 2 ? kRsrcRva : 0);
    w.U32(k == 2 ? rsrc_size : 0);
  }
  // Section table.
  w.Bytes(std::string(".rsrc\0\0\0", 8));
  w.U32(rsrc_size);
  w.U32(kRsrcRva);
  w.U32(rsrc_raw);
  w.U32(kFileAlign);  // raw data right after the headers
  w.U32(0);
  w.U32(0);
  w.U16(0);
  w.U16(0);
  w.U32(0x40000040);  // initialised data, readable
  w.PadToOffset(kFileAlign);
  w.Bytes(rsrc.Take());
  return w.Take();
}

std::string BuildNe(const VersionSpec& wanted, const std::string& module_name,
                    const std::string& tree) {
  constexpr unsigned kShift = 4;  // resources aligned to 16 bytes
  auto pascal = [](const std::string& s) {
    std::string out(1, static_cast<char>(s.size() > 255 ? 255 : s.size()));
    return out + s.substr(0, 255);
  };
  // Tables that follow the 64-byte header, offsets relative to the header.
  Writer tables;
  const unsigned resource_table = 0x40;
  tables.U16(kShift);
  tables.U16(0x8000 | 16);  // RT_VERSION
  tables.U16(1);
  tables.U32(0);
  const size_t name_info = tables.Size();
  tables.U16(0);  // offset >> shift, filled in below
  tables.U16(static_cast<unsigned>((tree.size() + (1u << kShift) - 1) >> kShift));
  tables.U16(0x0C30);  // moveable, pure, discardable
  tables.U16(0x8001);  // id 1
  tables.U16(0);
  tables.U16(0);
  tables.U16(0);  // end of types
  tables.U8(0);   // no resource names
  const unsigned resident_names = resource_table + static_cast<unsigned>(tables.Size());
  tables.Bytes(pascal(module_name));
  tables.U16(0);
  tables.U8(0);
  const unsigned module_refs = resource_table + static_cast<unsigned>(tables.Size());
  const unsigned imported_names = module_refs;
  tables.U8(0);
  const unsigned entry_table = resource_table + static_cast<unsigned>(tables.Size());
  tables.U8(0);
  tables.U8(0);
  const unsigned nonresident_offset =
      kNewHeader + resource_table + static_cast<unsigned>(tables.Size());
  const std::string description = pascal(module_name + " module");
  tables.Bytes(description);
  tables.U16(0);
  tables.U8(0);

  Writer w;
  WriteDosStub(w, kNewHeader);
  const size_t ne = w.Size();
  w.Bytes("NE");
  w.U8(5);  // linker version
  w.U8(10);
  w.U16(entry_table);
  w.U16(2);                             // entry table length
  w.U32(0);                             // CRC
  w.U16(wanted.dll ? 0x8000 : 0x0002);  // library / multiple data
  w.U16(0);                             // automatic data segment
  w.U16(0);                             // heap
  w.U16(0);                             // stack
  w.U32(0);                             // CS:IP
  w.U32(0);                             // SS:SP
  w.U16(0);                             // segments
  w.U16(0);                             // module references
  w.U16(static_cast<unsigned>(description.size() + 3));
  w.U16(resource_table);  // segment table (empty) starts where the resource table does
  w.U16(resource_table);
  w.U16(resident_names);
  w.U16(module_refs);
  w.U16(imported_names);
  w.U32(nonresident_offset);
  w.U16(0);       // movable entries
  w.U16(kShift);  // segment alignment
  w.U16(0);       // resource segments
  w.U8(2);        // target: Windows
  w.U8(0);
  w.U16(0);
  w.U16(0);
  w.U16(0);
  w.U16(0x030A);  // expected Windows version 3.10
  const std::string header_tables = tables.Take();
  w.Bytes(header_tables);
  w.PadTo(1u << kShift);
  const size_t resource_at = w.Size();
  w.Put16(ne + resource_table + name_info, static_cast<unsigned>(resource_at >> kShift));
  w.Bytes(tree);
  w.PadTo(1u << kShift);
  return w.Take();
}

}  // namespace

std::string VersionText(const std::array<std::uint16_t, 4>& parts) {
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
         std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

std::string BuildVersionTree(const VersionSpec& wanted, bool sixteen_bit) {
  Block root;
  root.key = "VS_VERSION_INFO";
  root.value = FixedFileInfo(wanted, sixteen_bit);
  root.value_length = 52;
  char table_key[9];
  std::snprintf(table_key, sizeof table_key, "%04X%04X", wanted.language, wanted.code_page);
  Block table = Parent(table_key);
  for (const auto& [name, text] : wanted.strings)
    table.children.push_back(TextBlock(name, text, sixteen_bit));
  Block strings = Parent("StringFileInfo");
  strings.children.push_back(std::move(table));
  Block translation;
  translation.key = "Translation";
  Writer pair;
  pair.U16(wanted.language);
  pair.U16(wanted.code_page);
  translation.value = pair.Take();
  translation.value_length = 4;
  Block vars = Parent("VarFileInfo");
  vars.children.push_back(std::move(translation));
  root.children.push_back(std::move(strings));
  root.children.push_back(std::move(vars));
  Writer w;
  WriteBlock(w, root, sixteen_bit);
  return w.Take();
}

std::string BuildExecutable(ExecutableKind kind, const VersionSpec& wanted,
                            const std::string& module_name, const std::string* tree) {
  const bool sixteen_bit = kind == ExecutableKind::kNe;
  const std::string built = tree ? std::string() : BuildVersionTree(wanted, sixteen_bit);
  const std::string& bytes = tree ? *tree : built;
  if (sixteen_bit) return BuildNe(wanted, module_name, bytes);
  return BuildPe(kind == ExecutableKind::kPe64, wanted, bytes);
}

}  // namespace w98::internal
