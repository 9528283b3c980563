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

}  // namespace
}  // namespace w98::internal
