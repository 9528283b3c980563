// Truncated, damaged and hostile executables: "no version information" or values bounded by
// the data, never a crash or a read outside the file or the buffer (AddressSanitizer checks
// the reads in the asan build).
#include <cstring>

#include <gtest/gtest.h>

#include "temp_machine.h"
#include "version/version_info.h"
#include "version/version_resource.h"
#include "version_testing.h"

namespace w98::testing {
namespace {

using internal::BuildExecutable;
using internal::ExecutableKind;

const char* const kQueries[] = {"\\",
                                "\\VarFileInfo\\Translation",
                                "\\StringFileInfo\\040904e4\\FileVersion",
                                "\\StringFileInfo\\040904E4\\CompanyName",
                                "\\StringFileInfo",
                                "\\a\\b\\c\\d\\e"};

// Reads `bytes` as a file through the internal reader and queries every usual path; returns
// whether version information was found. The buffer is exactly the size asked for, so
// AddressSanitizer sees any read past it.
bool ReadAndQuery(const std::string& bytes) {
  internal::MemorySource source(bytes);
  auto resource = internal::FindVersionResource(source);
  if (!resource) return false;
  const std::string built = internal::BuildVersionInfo(*resource);
  std::unique_ptr<unsigned char[]> info(new unsigned char[built.size()]);
  std::memcpy(info.get(), built.data(), built.size());
  for (const char* query : kQueries) {
    const void* value = nullptr;
    unsigned length = 0;
    if (internal::QueryVersionInfo(info.get(), query, &value, &length)) {
      const auto* v = static_cast<const unsigned char*>(value);
      EXPECT_GE(v, info.get()) << query;
      EXPECT_LE(v + length, info.get() + built.size()) << query;
    }
  }
  return true;
}

TEST(VersionDamage, EveryTruncationOfEachKindIsHandled) {
  for (ExecutableKind kind : {ExecutableKind::kPe32, ExecutableKind::kPe64, ExecutableKind::kNe}) {
    const std::string file = BuildExecutable(kind, SampleSpec("4.10.1998"));
    const std::string tree =
        internal::BuildVersionTree(SampleSpec("4.10.1998"), kind == ExecutableKind::kNe);
    // An NE file gives resource lengths in 16-byte units.
    size_t tree_end = file.find(tree) + tree.size();
    if (kind == ExecutableKind::kNe) tree_end = (tree_end + 15) / 16 * 16;
    ASSERT_TRUE(ReadAndQuery(file));
    // The resource is the last thing in the file before padding: every prefix that cuts it
    // has no version information, every longer one has.
    for (size_t n = 0; n < file.size(); ++n)
      EXPECT_EQ(ReadAndQuery(file.substr(0, n)), n >= tree_end) << "file cut at " << n;
  }
}

TEST(VersionDamage, EveryByteDamagedIsHandled) {
  for (ExecutableKind kind : {ExecutableKind::kPe32, ExecutableKind::kPe64, ExecutableKind::kNe}) {
    const std::string file = BuildExecutable(kind, SampleSpec("4.10.1998"));
    for (size_t pos = 0; pos < file.size(); ++pos) {
      for (unsigned char value : {0x00, 0x01, 0x20, 0x7F, 0x80, 0xFF}) {
        std::string damaged = file;
        damaged[pos] = static_cast<char>(value);
        ReadAndQuery(damaged);
      }
    }
  }
}

// Trees whose sizes lie: each is wrapped in a valid PE file and must be read without
// stepping outside the block that holds it.
TEST(VersionDamage, LyingTreeSizesStayInsideTheirBlocks) {
  const std::string good = internal::BuildVersionTree(SampleSpec("4.10.1998"), false);
  auto with_word = [&](size_t at, std::uint16_t v) {
    std::string t = good;
    t[at] = static_cast<char>(v & 0xFF);
    t[at + 1] = static_cast<char>(v >> 8);
    return t;
  };
  const size_t file_version = good.find(std::string("F\0i\0l\0e\0V\0e\0r", 14));
  ASSERT_NE(file_version, std::string::npos);
  const size_t string_block = file_version - 6;
  struct Case {
    const char* what;
    std::string tree;
    bool has_info;
  } cases[] = {
      {"root longer than the resource", with_word(0, 0xFFF0), false},
      {"root shorter than its header", with_word(0, 4), false},
      {"string block of length 0", with_word(string_block, 0), true},
      {"string value longer than its block", with_word(string_block + 2, 0x7FFF), true},
      {"string block longer than its table", with_word(string_block, 0xFFFF), true},
      {"fixed info longer than the root", with_word(2, 0xFFFF), true},
      {"no NUL after a key", std::string(good.substr(0, 6)) + std::string(40, 'A'), false},
  };
  for (Case& c : cases) {
    if (c.tree.size() >= 2 && std::string(c.what) == "no NUL after a key") {
      c.tree[0] = static_cast<char>(c.tree.size());
      c.tree[1] = 0;
    }
    const std::string file = BuildExecutable(ExecutableKind::kPe32, SampleSpec("x"), "X", &c.tree);
    EXPECT_EQ(ReadAndQuery(file), c.has_info) << c.what;
  }
}

TEST(VersionDamage, StringValueLengthIsClampedToItsBlock) {
  std::string tree = internal::BuildVersionTree(SampleSpec("4.10.1998"), false);
  const size_t at = tree.find(std::string("F\0i\0l\0e\0V\0e\0r", 14)) - 6;
  tree[at + 2] = static_cast<char>(0xFF);  // wValueLength = 0x00FF characters
  tree[at + 3] = 0;
  const std::string file = BuildExecutable(ExecutableKind::kPe32, SampleSpec("x"), "X", &tree);
  internal::MemorySource source(file);
  auto resource = internal::FindVersionResource(source);
  ASSERT_TRUE(resource);
  const std::string info = internal::BuildVersionInfo(*resource);
  const void* value = nullptr;
  unsigned length = 0;
  ASSERT_TRUE(internal::QueryVersionInfo(reinterpret_cast<const unsigned char*>(info.data()),
                                         "\\StringFileInfo\\040904E4\\FileVersion", &value,
                                         &length));
  EXPECT_LT(length, 0xFFu) << "the length must stop at the end of the block";
  EXPECT_EQ(std::string(static_cast<const char*>(value)), "4.10.1998");
}

}  // namespace
}  // namespace w98::testing
