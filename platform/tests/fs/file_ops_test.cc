// DeleteFileA, MoveFileA, CreateDirectoryA, RemoveDirectoryA and the folder queries.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "core/machine.h"
#include "fs_test_support.h"
#include "temp_machine.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

class FileOpsTest : public ::testing::Test {
 protected:
  void TearDown() override { SetCurrentDirectoryA("C:\\"); }
  TempMachine machine_;
};

// Runs a call that should fail and returns its last error.
template <class Fn>
DWORD ErrorOf(Fn fn) {
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(fn());
  return GetLastError();
}

TEST_F(FileOpsTest, CreatesAndRemovesFolders) {
  ASSERT_TRUE(CreateDirectoryA("C:\\New Folder", nullptr));
  EXPECT_TRUE(std::filesystem::is_directory(machine_.OnC("New Folder")));
  EXPECT_EQ(ErrorOf([] { return CreateDirectoryA("c:\\new folder", nullptr); }),
            static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(ErrorOf([] { return CreateDirectoryA("C:\\a\\b", nullptr); }),
            static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(ErrorOf([] { return CreateDirectoryA("C:\\", nullptr); }),
            static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(ErrorOf([] { return CreateDirectoryA("C:\\bad>name", nullptr); }),
            static_cast<DWORD>(ERROR_INVALID_NAME));

  machine_.WriteFile("New Folder/inside.txt", "x");
  EXPECT_EQ(ErrorOf([] { return RemoveDirectoryA("C:\\NEW FOLDER"); }),
            static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_EQ(ErrorOf([] { return RemoveDirectoryA("C:\\New Folder\\inside.txt"); }),
            static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_EQ(ErrorOf([] { return RemoveDirectoryA("C:\\gone"); }),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ErrorOf([] { return RemoveDirectoryA("C:\\"); }),
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(DeleteFileA("C:\\New Folder\\INSIDE.TXT"));
  ASSERT_TRUE(RemoveDirectoryA("C:\\NEW FOLDER"));
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("New Folder")));
}

TEST_F(FileOpsTest, DeletesFilesOnly) {
  machine_.WriteFile("doomed.txt", "x");
  EXPECT_EQ(ErrorOf([] { return DeleteFileA("C:\\WINDOWS"); }),
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ErrorOf([] { return DeleteFileA("C:\\none.txt"); }),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ErrorOf([] { return DeleteFileA("C:\\none\\x.txt"); }),
            static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(DeleteFileA("c:/DOOMED.TXT"));
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("doomed.txt")));
}

TEST_F(FileOpsTest, MovesFilesAndFoldersOnOneDrive) {
  machine_.WriteFile("tree/sub/leaf.txt", "leaf");
  machine_.WriteFile("other.txt", "other");
  SetHostDosAttrib(machine_.OnC("other.txt"), "0x01");
  ASSERT_TRUE(MoveFileA("C:\\TREE", "C:\\Moved Tree"));
  EXPECT_EQ(machine_.ReadFile("Moved Tree/sub/leaf.txt"), "leaf");
  // A read-only file may be renamed; its attributes go with it and no archive bit is added.
  ASSERT_TRUE(MoveFileA("C:\\other.txt", "C:\\Moved Tree\\sub\\renamed.txt"));
  EXPECT_EQ(GetFileAttributesA("C:\\Moved Tree\\sub\\renamed.txt"),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  // A change of case only.
  ASSERT_TRUE(MoveFileA("C:\\Moved Tree\\sub\\renamed.txt", "C:\\Moved Tree\\sub\\RENAMED.TXT"));
  EXPECT_TRUE(std::filesystem::exists(machine_.OnC("Moved Tree/sub/RENAMED.TXT")));
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("Moved Tree/sub/renamed.txt")));

  machine_.WriteFile("x.txt", "x");
  EXPECT_EQ(ErrorOf([] { return MoveFileA("C:\\x.txt", "C:\\moved tree\\sub\\leaf.txt"); }),
            static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(ErrorOf([] { return MoveFileA("C:\\nothing.txt", "C:\\y.txt"); }),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ErrorOf([] { return MoveFileA("C:\\x.txt", "C:\\no\\y.txt"); }),
            static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(ErrorOf([] { return MoveFileA("C:\\Moved Tree", "C:\\Moved Tree\\sub\\inner"); }),
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ErrorOf([] { return MoveFileA("C:\\x.txt", "A:\\x.txt"); }),
            static_cast<DWORD>(ERROR_NOT_SAME_DEVICE));
  EXPECT_EQ(machine_.ReadFile("Moved Tree/sub/leaf.txt"), "leaf");
  EXPECT_EQ(machine_.ReadFile("x.txt"), "x");
}

TEST_F(FileOpsTest, FolderQueriesFollowTheBufferConventions) {
  char buffer[MAX_PATH];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 10u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS");
  EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 17u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS\\SYSTEM");
  EXPECT_EQ(GetTempPathA(sizeof buffer, buffer), 16u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS\\TEMP\\");
  // Too small: the size needed, NUL included, and the buffer left alone.
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetWindowsDirectoryA(buffer, 10), 11u);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(GetTempPathA(0, nullptr), 17u);

  ASSERT_TRUE(internal::Machine::Current()->WriteSetting("machine", "windir", "D:\\WIN98\\"));
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 8u);
  EXPECT_STREQ(buffer, "D:\\WIN98");
  EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 15u);
  EXPECT_STREQ(buffer, "D:\\WIN98\\SYSTEM");
}

TEST_F(FileOpsTest, CurrentFolderAndFullPaths) {
  char buffer[MAX_PATH];
  EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 3u);
  EXPECT_STREQ(buffer, "C:\\");
  ASSERT_TRUE(SetCurrentDirectoryA("c:\\windows\\system"));
  EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 17u);
  EXPECT_STREQ(buffer, "C:\\windows\\system");
  EXPECT_EQ(ErrorOf([] { return SetCurrentDirectoryA("C:\\nope"); }),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  machine_.WriteFile("file.txt", "x");
  EXPECT_EQ(ErrorOf([] { return SetCurrentDirectoryA("C:\\file.txt"); }),
            static_cast<DWORD>(ERROR_DIRECTORY));

  struct Case {
    const char* in;
    const char* full;
    const char* part;  // nullptr: no file part
  } cases[] = {
      {"win.ini", "C:\\windows\\system\\win.ini", "win.ini"},
      {"..\\*.ini", "C:\\windows\\*.ini", "*.ini"},
      {"\\autoexec.bat", "C:\\autoexec.bat", "autoexec.bat"},
      {"C:\\..\\..\\x", "C:\\x", "x"},
      {"d:\\dir\\", "D:\\dir\\", nullptr},
      {"A:", "A:\\", nullptr},
      {"C:sub", "C:\\windows\\system\\sub", "sub"},
  };
  for (const Case& c : cases) {
    char* part = reinterpret_cast<char*>(0x1);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetFullPathNameA(c.in, sizeof buffer, buffer, &part), std::strlen(c.full)) << c.in;
    EXPECT_STREQ(buffer, c.full) << c.in;
    if (c.part == nullptr) {
      EXPECT_EQ(part, nullptr) << c.in;
    } else {
      EXPECT_STREQ(part, c.part) << c.in;
    }
  }
  // A relative name against the current folder, resolved case-insensitively.
  machine_.WriteFile("WINDOWS/SYSTEM/Here.txt", "h");
  EXPECT_EQ(GetFileAttributesA("HERE.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
}

}  // namespace
}  // namespace w98::testing
