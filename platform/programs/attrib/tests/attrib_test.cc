// ATTRIB against the MS-DOS 7 rules: switches before or after the path, the hidden/system
// protection, wildcards with /S, and the listing format.
#include "attrib.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "temp_machine.h"
#include "w98/windows.h"

namespace {

constexpr DWORD R = FILE_ATTRIBUTE_READONLY;
constexpr DWORD H = FILE_ATTRIBUTE_HIDDEN;
constexpr DWORD S = FILE_ATTRIBUTE_SYSTEM;
constexpr DWORD A = FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kSentinel = 0xDEADBEEF;

struct Result {
  int code = -1;
  std::string output;
};

Result Attrib(const std::string& tail) {
  Result result;
  result.code = attrib::Run(tail, [&](const std::string& line) { result.output += line + "\n"; });
  return result;
}

DWORD AttributesOf(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes == INVALID_FILE_ATTRIBUTES ? kSentinel : attributes & (R | H | S | A);
}

void Make(w98::testing::TempMachine& machine, const std::string& relative, const char* dos,
          DWORD attributes) {
  machine.WriteFile(relative, "x");
  ASSERT_TRUE(SetFileAttributesA(dos, attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes));
}

TEST(AttribTest, ChangesFollowTheHiddenAndSystemRules) {
  struct Case {
    DWORD before;
    const char* tail;  // "%" stands for the quoted path
    const char* output;
    DWORD after;
    int code;
  } cases[] = {
      {A, "+R %", "", R | A, 0},
      {R | A, "% -R -A", "", 0, 0},
      {H | S | A, "-H %", "Not resetting system file C:\\F\\X.TXT\n", H | S | A, 1},
      {H | S | A, "-S %", "Not resetting hidden file C:\\F\\X.TXT\n", H | S | A, 1},
      {H | S | A, "-S -H %", "", A, 0},
      {H | A, "+R %", "Not resetting hidden file C:\\F\\X.TXT\n", H | A, 1},
      {S | A, "% +R", "Not resetting system file C:\\F\\X.TXT\n", S | A, 1},
      {R | H | S | A, "-R -S -H %", "", A, 0},
      {A, " +A  +S  +H  +R  %", "", R | H | S | A, 0},
      {R | H | S | A, "% +A -R -S -H", "", A, 0},
      {0, "% +H", "", H, 0},
      {A, "+X %", "Invalid parameter - +X\n", A, 1},
      {A, "+RH %", "Invalid parameter - +RH\n", A, 1},
      {A, "% /Q", "Invalid switch - /Q\n", A, 1},
      {A, "% C:\\OTHER.TXT", "Too many parameters - C:\\OTHER.TXT\n", A, 1},
  };
  for (const auto& c : cases) {
    w98::testing::TempMachine machine;
    Make(machine, "F/X.TXT", "C:\\F\\X.TXT", c.before);
    std::string tail = c.tail;
    tail.replace(tail.find('%'), 1, "\"C:\\F\\X.TXT\"");
    const Result result = Attrib(tail);
    EXPECT_EQ(result.output, c.output) << "ATTRIB " << tail;
    EXPECT_EQ(result.code, c.code) << "ATTRIB " << tail;
    EXPECT_EQ(AttributesOf("C:\\F\\X.TXT"), c.after) << "ATTRIB " << tail;
  }
}

TEST(AttribTest, WildcardsSubfoldersAndListing) {
  w98::testing::TempMachine machine;
  Make(machine, "T/A.TXT", "C:\\T\\A.TXT", A);
  Make(machine, "T/B.DAT", "C:\\T\\B.DAT", R | H | S | A);
  Make(machine, "T/SUB/C.TXT", "C:\\T\\SUB\\C.TXT", H | A);
  Make(machine, "Long Folder/a file.txt", "C:\\Long Folder\\a file.txt", 0);

  Result result = Attrib("\"C:\\T\\*.*\"");
  EXPECT_EQ(result.output,
            "  A          C:\\T\\A.TXT\n"
            "  A  SHR     C:\\T\\B.DAT\n");
  EXPECT_EQ(result.code, 0);

  result = Attrib("C:\\T\\*.TXT /S");
  EXPECT_EQ(result.output,
            "  A          C:\\T\\A.TXT\n"
            "  A   H      C:\\T\\SUB\\C.TXT\n");

  result = Attrib("+R C:\\T\\*.TXT /S");
  EXPECT_EQ(result.output, "Not resetting hidden file C:\\T\\SUB\\C.TXT\n");
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(AttributesOf("C:\\T\\A.TXT"), R | A);
  EXPECT_EQ(AttributesOf("C:\\T\\SUB\\C.TXT"), H | A);
  EXPECT_EQ(AttributesOf("C:\\T\\B.DAT"), R | H | S | A) << "not matched by *.TXT";

  // The restore batch files' form: clear everything on the stored copies, set it again.
  result = Attrib("\"C:\\T\\*.*\" +A -R -S -H");
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(AttributesOf("C:\\T\\A.TXT"), A);
  EXPECT_EQ(AttributesOf("C:\\T\\B.DAT"), A);
  result = Attrib("\"C:\\T\\*.*\" +A +R +S +H");
  EXPECT_EQ(AttributesOf("C:\\T\\B.DAT"), R | H | S | A);
  EXPECT_EQ(AttributesOf("C:\\T\\SUB\\C.TXT"), H | A) << "no /S: the sub-folder is left alone";

  result = Attrib("+R \"C:\\Long Folder\\a file.txt\"");
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(AttributesOf("C:\\Long Folder\\a file.txt"), R);

  result = Attrib("+R C:\\T\\*.BAK");
  EXPECT_EQ(result.output, "File not found - C:\\T\\*.BAK\n");
  EXPECT_EQ(result.code, 1);
}

}  // namespace
