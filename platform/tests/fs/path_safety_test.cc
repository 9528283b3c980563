// No DOS path reaches outside the machine folder: not by "..", not through a symbolic link,
// and not through a folder swapped for a link after the path was resolved.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "core/path.h"
#include "fs_test_support.h"
#include "temp_machine.h"
#include "w98/io.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

namespace fs = std::filesystem;

class PathSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    outside_ = machine_.Root().parent_path() / (machine_.Root().filename().string() + "-outside");
    fs::create_directories(outside_);
    std::ofstream(outside_ / "secret.txt") << "secret";
  }
  void TearDown() override { fs::remove_all(outside_); }
  TempMachine machine_;
  fs::path outside_;
};

TEST_F(PathSafetyTest, DotDotStopsAtTheDriveRoot) {
  machine_.WriteFile("etc/passwd", "inside");
  const int fd = _open("C:\\..\\..\\..\\etc\\passwd", _O_RDONLY | _O_BINARY);
  ASSERT_GE(fd, 0);
  char buf[16] = {};
  EXPECT_EQ(_read(fd, buf, sizeof buf), 6);
  EXPECT_STREQ(buf, "inside");
  _close(fd);
  EXPECT_EQ(GetFileAttributesA("C:\\..\\..\\etc"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\..\\..\\..\\machine.ini"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PathSafetyTest, EveryCallRefusesSymbolicLinks) {
  fs::create_directory_symlink(outside_, machine_.OnC("out"));
  fs::create_symlink(outside_ / "secret.txt", machine_.OnC("secret.txt"));
  machine_.WriteFile("mine.txt", "mine");
  const char* through_folder = "C:\\out\\secret.txt";
  const char* leaf_link = "C:\\secret.txt";
  for (const char* path : {through_folder, leaf_link, "C:\\OUT\\SECRET.TXT"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(_open(path, _O_RDONLY), -1);
    EXPECT_EQ(_open(path, _O_WRONLY | _O_CREAT | _O_TRUNC, _S_IWRITE), -1);
    EXPECT_FALSE(CopyFileA(path, "C:\\stolen.txt", FALSE));
    EXPECT_FALSE(CopyFileA("C:\\mine.txt", path, FALSE));
    EXPECT_FALSE(DeleteFileA(path));
    EXPECT_FALSE(MoveFileA(path, "C:\\moved.txt"));
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA(path, &data), INVALID_HANDLE_VALUE);
  }
  EXPECT_EQ(FindNames("C:\\out\\*"), std::vector<std::string>{});
  EXPECT_FALSE(CreateDirectoryA("C:\\out\\made", nullptr));
  EXPECT_FALSE(fs::exists(machine_.OnC("stolen.txt")));
  std::ifstream in(outside_ / "secret.txt");
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "secret");
  EXPECT_EQ(HostDosAttrib(outside_ / "secret.txt"), "<none>");
  EXPECT_FALSE(fs::exists(outside_ / "made"));
}

TEST_F(PathSafetyTest, AFolderSwappedForALinkAfterResolutionIsNotFollowed) {
  machine_.WriteFile("work/victim.txt", "mine");
  internal::Location where;
  ASSERT_EQ(internal::LocateDosPath("C:\\work\\victim.txt", where), 0u);
  // Another program now moves the folder away and puts a link to the outside in its place.
  fs::rename(machine_.OnC("work"), machine_.OnC("work.old"));
  fs::create_directory_symlink(outside_, machine_.OnC("work"));
  std::ofstream(outside_ / "victim.txt") << "outside";
  // Work done through the resolved location still lands in the machine's own folder.
  ASSERT_EQ(::unlinkat(where.folder.get(), where.leaf.c_str(), 0), 0);
  EXPECT_FALSE(fs::exists(machine_.OnC("work.old/victim.txt")));
  EXPECT_TRUE(fs::exists(outside_ / "victim.txt"));
  // And a fresh resolution refuses the link.
  EXPECT_EQ(internal::LocateDosPath("C:\\work\\victim.txt", where),
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(PathSafetyTest, HelperFilesOfTheRegistryStayOutOfSight) {
  machine_.WriteFile("WINDOWS/USER.DAT-journal", "journal");
  for (const char* path : {"C:\\WINDOWS\\USER.DAT-journal", "C:\\windows\\user.dat-JOURNAL"}) {
    SCOPED_TRACE(path);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    errno = 0;
    EXPECT_EQ(_open(path, _O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(_open(path, _O_WRONLY | _O_CREAT | _O_TRUNC, _S_IWRITE), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_FALSE(DeleteFileA(path));
    EXPECT_FALSE(CopyFileA("C:\\WINDOWS\\WIN.INI", path, FALSE));
  }
  const auto names = FindNames("C:\\WINDOWS\\*");
  EXPECT_EQ(std::count(names.begin(), names.end(), "USER.DAT-journal"), 0);
  std::ifstream in(machine_.OnC("WINDOWS/USER.DAT-journal"));
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "journal");
}

TEST_F(PathSafetyTest, ResolvesAliasesAndCaseButKeepsTheGivenSpellingForNewNames) {
  machine_.WriteFile("Program Files/Vendor/App.ini", "x");
  internal::HostPath found;
  ASSERT_EQ(internal::ResolveDosPath("C:\\PROGRA~1\\vendor\\app.INI", found), 0u);
  EXPECT_TRUE(found.exists);
  EXPECT_EQ(found.dos, "C:\\Program Files\\Vendor\\App.ini");
  EXPECT_EQ(found.host, machine_.OnC("Program Files/Vendor/App.ini"));
  ASSERT_EQ(internal::ResolveDosPath("c:\\program files\\VENDOR\\New.Ini", found), 0u);
  EXPECT_FALSE(found.exists);
  EXPECT_EQ(found.dos, "C:\\Program Files\\Vendor\\New.Ini");

  struct Case {
    const char* path;
    DWORD error;
  } cases[] = {
      {"\\\\server\\share\\x", ERROR_PATH_NOT_FOUND},
      {"C:\\a\\b:c", ERROR_INVALID_NAME},
      {"C:\\tab\there", ERROR_INVALID_NAME},
  };
  for (const Case& c : cases) EXPECT_EQ(internal::ResolveDosPath(c.path, found), c.error) << c.path;
  const std::string long_name(256, 'n');
  EXPECT_EQ(internal::ResolveDosPath("C:\\" + long_name, found),
            static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  std::string deep = "C:";
  while (deep.size() < MAX_PATH) deep += "\\folder";
  EXPECT_EQ(internal::ResolveDosPath(deep, found), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

}  // namespace
}  // namespace w98::testing
