#include "core/path.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_machine.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

TEST(DosPath, ParsesAndFoldsDotsWithoutClimbingAboveTheRoot) {
  struct Case {
    const char* text;
    DWORD error;
    const char* expected;
  } cases[] = {
      {"C:\\WINDOWS\\WIN.INI", ERROR_SUCCESS, "C:\\WINDOWS\\WIN.INI"},
      {"c:/windows/./system/../win.ini", ERROR_SUCCESS, "C:\\windows\\win.ini"},
      {"C:\\..\\..\\etc\\passwd", ERROR_SUCCESS, "C:\\etc\\passwd"},
      {"a:\\", ERROR_SUCCESS, "A:\\"},
      {"C:\\bad|name", ERROR_INVALID_NAME, ""},
      {"C:\\what?", ERROR_INVALID_NAME, ""},
      {"", ERROR_PATH_NOT_FOUND, ""},
      {"1:\\x", ERROR_PATH_NOT_FOUND, ""},
  };
  for (const Case& c : cases) {
    DosPath path;
    EXPECT_EQ(ParseDosPath(c.text, path), c.error) << c.text;
    if (c.error == ERROR_SUCCESS) {
      EXPECT_EQ(path.ToString(), c.expected) << c.text;
    }
  }
}

TEST(DosPath, ResolvesCaseInsensitivelyInsideTheMachineOnly) {
  w98::testing::TempMachine machine;
  machine.WriteFile("WINDOWS/Odd.Ini", "x");
  HostPath found;
  ASSERT_EQ(ResolveDosPath("c:\\windows\\ODD.INI", found), ERROR_SUCCESS);
  EXPECT_TRUE(found.exists);
  EXPECT_EQ(found.dos, "C:\\WINDOWS\\Odd.Ini");
  EXPECT_EQ(found.host, machine.OnC("WINDOWS/Odd.Ini"));

  ASSERT_EQ(ResolveDosPath("C:\\WINDOWS\\NEW.TXT", found), ERROR_SUCCESS);
  EXPECT_FALSE(found.exists);
  EXPECT_EQ(ResolveDosPath("C:\\NOPE\\NEW.TXT", found), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(ResolveDosPath("Q:\\x", found), ERROR_PATH_NOT_FOUND);

  std::filesystem::create_directory_symlink("/etc", machine.OnC("out"));
  EXPECT_NE(ResolveDosPath("C:\\out\\passwd", found), ERROR_SUCCESS);
  ASSERT_EQ(ResolveDosPath("C:\\..\\..\\..\\etc", found), ERROR_SUCCESS);
  EXPECT_EQ(found.host, machine.OnC("etc"));
  EXPECT_FALSE(found.exists);
}

// Folders given in another case than the disk's are resolved in the spelling found before as
// long as it holds, and follow the disk when it changes: renamed, made again in another case,
// gone, or swapped for a link.
TEST(DosPath, FoldersInAnotherCaseFollowTheDiskAsItChanges) {
  namespace fs = std::filesystem;
  w98::testing::TempMachine machine;
  machine.WriteFile("WINDOWS/Mixed/Sub/a.txt", "a");
  HostPath found;
  for (int pass = 0; pass < 2; ++pass) {  // the walk, then the spelling it found
    ASSERT_EQ(ResolveDosPath("c:\\windows\\mixed\\sub\\A.TXT", found), ERROR_SUCCESS);
    EXPECT_TRUE(found.exists);
    EXPECT_EQ(found.dos, "C:\\WINDOWS\\Mixed\\Sub\\a.txt");
    EXPECT_EQ(found.host, machine.OnC("WINDOWS/Mixed/Sub/a.txt"));
  }

  fs::rename(machine.OnC("WINDOWS/Mixed"), machine.OnC("WINDOWS/Gone"));
  machine.WriteFile("WINDOWS/MIXED/SUB/b.txt", "b");
  ASSERT_EQ(ResolveDosPath("c:\\windows\\mixed\\sub\\a.txt", found), ERROR_SUCCESS);
  EXPECT_FALSE(found.exists);
  EXPECT_EQ(found.dos, "C:\\WINDOWS\\MIXED\\SUB\\a.txt");
  ASSERT_EQ(ResolveDosPath("c:\\windows\\mixed\\sub\\b.txt", found), ERROR_SUCCESS);
  EXPECT_TRUE(found.exists);
  EXPECT_EQ(found.host, machine.OnC("WINDOWS/MIXED/SUB/b.txt"));

  // Swapped for a link to a folder of the same shape outside the drive: refused.
  fs::rename(machine.OnC("WINDOWS/MIXED"), machine.OnC("WINDOWS/Old"));
  fs::create_directory_symlink(machine.OnC("WINDOWS/Old"), machine.OnC("WINDOWS/MIXED"));
  EXPECT_NE(ResolveDosPath("c:\\windows\\mixed\\sub\\b.txt", found), ERROR_SUCCESS);
  fs::remove(machine.OnC("WINDOWS/MIXED"));
  EXPECT_EQ(ResolveDosPath("c:\\windows\\mixed\\sub\\b.txt", found), ERROR_PATH_NOT_FOUND);
}

}  // namespace
}  // namespace w98::internal
