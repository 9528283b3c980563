// Writing small, valid executables that carry a version resource: 32-bit and 64-bit PE files
// and 16-bit NE files with no code, for tests and for the system files of a blank machine.
#ifndef W98_SRC_VERSION_PE_WRITER_H
#define W98_SRC_VERSION_PE_WRITER_H

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace w98::internal {

struct VersionSpec {
  std::array<std::uint16_t, 4> file_version{1, 0, 0, 0};  // 4.10.0.1998 -> {4, 10, 0, 1998}
  std::array<std::uint16_t, 4> product_version{1, 0, 0, 0};
  std::uint16_t language = 0x0409;  // U.S. English
  std::uint16_t code_page = 1252;   // Windows ANSI (0x04E4)
  bool dll = true;                  // a library (VFT_DLL) or a program (VFT_APP)
  // The texts of the string table, in order ("FileVersion", "CompanyName" ...). Without a
  // "FileVersion" text the file has none: tests use that for files whose version text is missing.
  std::vector<std::pair<std::string, std::string>> strings;
};

// "4.10.1998" style text of a version's four parts ("4.10.0.1998").
std::string VersionText(const std::array<std::uint16_t, 4>& parts);

// The VS_VERSIONINFO tree for `wanted`: the 32-bit form (UTF-16) or the 16-bit form (ANSI).
std::string BuildVersionTree(const VersionSpec& wanted, bool sixteen_bit);

enum class ExecutableKind { kPe32, kPe64, kNe };

// A complete executable file whose only resource is the version tree of `wanted` (the tree
// itself may be given, for tests of damaged trees; otherwise it is built from `wanted`).
// `module_name` names the module in an NE file ("USER").
std::string BuildExecutable(ExecutableKind kind, const VersionSpec& wanted,
                            const std::string& module_name = "MODULE",
                            const std::string* tree = nullptr);

}  // namespace w98::internal

#endif  // W98_SRC_VERSION_PE_WRITER_H
