// FindFirstFileA / FindNextFileA / FindClose on a machine's drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "fs/folder_listing.h"
#include "fs_test_support.h"
#include "temp_machine.h"
#include "w98/io.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

using Names = std::vector<std::string>;

class FindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.WriteFile("web/index.html", "<html>");
    machine_.WriteFile("web/README", "plain");
    machine_.WriteFile("web/notes.TXT", "n");
    machine_.WriteFile("web/a.txt", "a");
    machine_.WriteFile("web/ab.txt", "ab");
    machine_.WriteFile("web/abc.txt", "abc");
    std::filesystem::create_directory(machine_.OnC("web/Images"));
  }
  TempMachine machine_;
};

TEST_F(FindTest, MatchesPatternsAgainstLongNamesAndAliases) {
  struct Case {
    const char* pattern;
    Names expected;  // in the order w98 lists them: without regard to case
  } cases[] = {
      {"C:\\web\\*.*",
       {".", "..", "a.txt", "ab.txt", "abc.txt", "Images", "index.html", "notes.TXT", "README"}},
      {"C:\\web\\*",
       {".", "..", "a.txt", "ab.txt", "abc.txt", "Images", "index.html", "notes.TXT", "README"}},
      {"C:\\web\\*.", {".", "..", "Images", "README"}},  // as "dir *." shows them
      {"C:\\web\\*.htm", {"index.html"}},                // through its alias INDEX~1.HTM
      {"C:\\web\\*.TXT", {"a.txt", "ab.txt", "abc.txt", "notes.TXT"}},
      {"c:/WEB/a?.txt", {"a.txt", "ab.txt"}},
      {"C:\\web\\INDEX~1.HTM", {"index.html"}},
      {"C:\\web\\readme", {"README"}},
  };
  for (const Case& c : cases) {
    DWORD error = 0;
    EXPECT_EQ(FindNames(c.pattern, &error), c.expected) << c.pattern;
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_MORE_FILES)) << c.pattern;
  }
}

TEST_F(FindTest, FillsTheFindDataAsWindowsDoes) {
  machine_.WriteFile("web/big.bin", std::string(70000, 'x'));
  SetHostMtime(machine_.OnC("web/big.bin"), 1000000001, 500000000);
  SetHostDosAttrib(machine_.OnC("web/big.bin"), "0x23");
  WIN32_FIND_DATAA data;
  std::memset(&data, 0xcc, sizeof data);
  HANDLE h = FindFirstFileA("C:\\WEB\\BIG.BIN", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "big.bin");
  EXPECT_STREQ(data.cAlternateFileName, "BIG.BIN");
  EXPECT_EQ(
      data.dwFileAttributes,
      static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(data.nFileSizeLow, 70000u);
  // 1000000001.5 s on the host: FAT keeps even seconds, so 1000000000 s is reported.
  EXPECT_EQ(AsUint64(data.ftLastWriteTime), FileTimeOfUnix(1000000000));
  EXPECT_TRUE(FindClose(h));

  ASSERT_NE(h = FindFirstFileA("C:\\web\\index.html", &data), INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cAlternateFileName, "INDEX~1.HTM");
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));  // no record
  FindClose(h);
  ASSERT_NE(h = FindFirstFileA("C:\\web\\images", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_STREQ(data.cAlternateFileName, "IMAGES");
  FindClose(h);
}

TEST_F(FindTest, ListsDotEntriesInSubfoldersOnly) {
  const Names root = FindNames("C:\\*.*");
  EXPECT_EQ(std::count(root.begin(), root.end(), "."), 0);
  EXPECT_EQ(std::count(root.begin(), root.end(), ".."), 0);
  EXPECT_NE(std::find(root.begin(), root.end(), "WINDOWS"), root.end());
  EXPECT_EQ(FindNames("C:\\web\\Images\\*.*"), (Names{".", ".."}));
  EXPECT_EQ(FindNames("C:\\web\\Images\\*.txt"), Names{});
}

TEST_F(FindTest, NeverListsNamesWindowsCannotHoldNorLinks) {
  for (const char* bad : {"what?.txt", "a<b", "pipe|name", "quote\"d", "co:lon", "ctl\x01"})
    machine_.WriteFile(std::string("odd/") + bad, "x");
  machine_.WriteFile("odd/fine.txt", "x");
  std::filesystem::create_symlink("/etc/passwd", machine_.OnC("odd/link.txt"));
  std::filesystem::create_directory_symlink("/etc", machine_.OnC("odd/etc"));
  EXPECT_EQ(FindNames("C:\\odd\\*"), (Names{".", "..", "fine.txt"}));
}

TEST_F(FindTest, ReportsWindowsErrors) {
  struct Case {
    const char* pattern;
    DWORD error;
  } cases[] = {
      {"C:\\web\\*.none", ERROR_FILE_NOT_FOUND},
      {"C:\\web\\missing.txt", ERROR_FILE_NOT_FOUND},
      {"C:\\nowhere\\*.*", ERROR_PATH_NOT_FOUND},
      {"C:\\web\\README\\*.*", ERROR_PATH_NOT_FOUND},  // a file is not a folder
      {"C:\\", ERROR_FILE_NOT_FOUND},                  // a path ending in a backslash
      {"C:\\web\\", ERROR_FILE_NOT_FOUND},
      {"C:\\web\\a|b", ERROR_INVALID_NAME},
      {"", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    WIN32_FIND_DATAA data;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindFirstFileA(c.pattern, &data), INVALID_HANDLE_VALUE) << c.pattern;
    EXPECT_EQ(GetLastError(), c.error) << c.pattern;
  }
  WIN32_FIND_DATAA data;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(FindNextFileA(reinterpret_cast<HANDLE>(0x1234), &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

TEST_F(FindTest, SeesChangesMadeBesideW98) {
  // What w98 knows of a folder is kept current by change notifications, or, on hosts without
  // them, by the folder's change time; either way files made and removed by another program
  // show at once, also within the same instant as the last look.
  for (bool notifications : {true, false}) {
    SCOPED_TRACE(notifications ? "with change notifications" : "by change time");
    internal::UseChangeNotifications(notifications);
    const std::string folder = notifications ? "seen1" : "seen2";
    const std::string dos = "C:\\" + folder + "\\";
    machine_.WriteFile(folder + "/One.txt", "1");
    EXPECT_EQ(FindNames((dos + "*.new").c_str()).size(), 0u);
    machine_.WriteFile(folder + "/fresh.new", "1");
    EXPECT_EQ(FindNames((dos + "*.new").c_str()), Names{"fresh.new"});
    EXPECT_NE(GetFileAttributesA((dos + "FRESH.NEW").c_str()), INVALID_FILE_ATTRIBUTES);
    std::filesystem::remove(machine_.OnC(folder + "/fresh.new"));
    EXPECT_EQ(FindNames((dos + "*.new").c_str()).size(), 0u);
    EXPECT_EQ(GetFileAttributesA((dos + "FRESH.NEW").c_str()), INVALID_FILE_ATTRIBUTES);

    // The same after the folder has settled, when what was read of it is surely kept.
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(FindNames((dos + "*").c_str()), (Names{".", "..", "One.txt"}));
    EXPECT_EQ(GetFileAttributesA((dos + "TWO.TXT").c_str()), INVALID_FILE_ATTRIBUTES);
    machine_.WriteFile(folder + "/Two.txt", "2");
    EXPECT_EQ(FindNames((dos + "*").c_str()), (Names{".", "..", "One.txt", "Two.txt"}));
    EXPECT_NE(GetFileAttributesA((dos + "two.TXT").c_str()), INVALID_FILE_ATTRIBUTES);
    std::filesystem::rename(machine_.OnC(folder + "/Two.txt"), machine_.OnC(folder + "/Three.txt"));
    EXPECT_EQ(FindNames((dos + "t*").c_str()), Names{"Three.txt"});
  }
  internal::UseChangeNotifications(true);
}

TEST_F(FindTest, AKnownFolderAnswersLookUpsAsTheDiskDoes) {
  // Once w98 keeps a folder current, single lookups are answered from what it knows: every
  // answer must still be the one the disk gives.
  machine_.WriteFile("known/Twice.txt", "upper");
  machine_.WriteFile("known/twice.txt", "lower!");
  machine_.WriteFile("known/A long file name.text", "long");
  EXPECT_EQ(GetFileAttributesA("C:\\known\\missing.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(FindNames("C:\\known\\*"),
            (Names{".", "..", "A long file name.text", "Twice.txt"}));  // the folder is known

  const auto size_of = [](const char* path) {
    const int fd = _open(path, _O_RDONLY | _O_BINARY);
    if (fd < 0) return -1L;
    const long size = _filelength(fd);
    _close(fd);
    return size;
  };
  // A name the disk holds in two spellings: each exact spelling is its own file, any other
  // spelling the one listed.
  EXPECT_EQ(size_of("C:\\known\\Twice.txt"), 5);
  EXPECT_EQ(size_of("C:\\known\\twice.txt"), 6);
  EXPECT_EQ(size_of("C:\\known\\TWICE.TXT"), 5);
  // An 8.3 alias, and a name made beside w98 a moment ago.
  EXPECT_EQ(size_of("C:\\known\\ALONGF~1.TEX"), 4);
  machine_.WriteFile("known/fresh.txt", "abc");
  EXPECT_EQ(size_of("C:\\KNOWN\\FRESH.TXT"), 3);
  std::filesystem::remove(machine_.OnC("known/Twice.txt"));
  EXPECT_EQ(size_of("C:\\known\\TWICE.TXT"), 6);
  EXPECT_EQ(size_of("C:\\known\\Twice.txt"), 6);
  std::filesystem::remove(machine_.OnC("known/twice.txt"));
  EXPECT_EQ(size_of("C:\\known\\twice.txt"), -1);
  EXPECT_EQ(GetFileAttributesA("C:\\known\\twice.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FindTest, ForkedProcessesEachSeeTheOthersChanges) {
  machine_.WriteFile("shared/first.txt", "1");
  EXPECT_EQ(FindNames("C:\\shared\\*.txt"), Names{"first.txt"});  // known to this process
  const pid_t child = ::fork();
  if (child == 0) {
    // The child makes a file and looks into the folder itself.
    machine_.WriteFile("shared/FromChild.txt", "c");
    const bool sees = GetFileAttributesA("C:\\SHARED\\FROMCHILD.TXT") != INVALID_FILE_ATTRIBUTES;
    ::_exit(sees ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(GetFileAttributesA("C:\\shared\\fromchild.TXT"), INVALID_FILE_ATTRIBUTES)
      << "the child's look into the folder must not hide its change from the parent";
  EXPECT_EQ(FindNames("C:\\shared\\*.txt"), (Names{"first.txt", "FromChild.txt"}));
}

TEST_F(FindTest, SkipsEntriesThatVanishDuringTheSearch) {
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA("C:\\web\\a*.txt", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "a.txt");
  std::filesystem::remove(machine_.OnC("web/ab.txt"));
  ASSERT_TRUE(FindNextFileA(h, &data));
  EXPECT_STREQ(data.cFileName, "abc.txt");
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(h));
}

}  // namespace
}  // namespace w98::testing
