// CopyFileA: what the copy keeps, the Windows 98 answers, and that a failed copy leaves
// nothing behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "fs_test_support.h"
#include "temp_machine.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

// Every host entry of a folder, hidden ones included.
std::vector<std::string> HostEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class CopyTest : public ::testing::Test {
 protected:
  TempMachine machine_;
};

TEST_F(CopyTest, KeepsTheSourcesWriteTimeAndAttributes) {
  const std::string bytes(1'000'003, 'q');  // several blocks, not a multiple of one
  machine_.WriteFile("data/source.dat", bytes);
  SetHostMtime(machine_.OnC("data/source.dat"), 912345678);
  SetHostDosAttrib(machine_.OnC("data/source.dat"), "0x07");
  std::filesystem::create_directory(machine_.OnC("backup"));
  ASSERT_TRUE(CopyFileA("C:\\DATA\\SOURCE.DAT", "C:\\backup\\Copy.Dat", TRUE));
  EXPECT_EQ(machine_.ReadFile("backup/Copy.Dat"), bytes);  // created as the caller spelled it
  EXPECT_EQ(GetFileAttributesA("C:\\backup\\copy.dat"),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
  WIN32_FIND_DATAA source, copy;
  FindClose(FindFirstFileA("C:\\data\\source.dat", &source));
  FindClose(FindFirstFileA("C:\\backup\\copy.dat", &copy));
  EXPECT_EQ(AsUint64(copy.ftLastWriteTime), AsUint64(source.ftLastWriteTime));
  EXPECT_EQ(AsUint64(copy.ftLastWriteTime), FileTimeOfUnix(912345678));
  EXPECT_EQ(HostEntries(machine_.OnC("backup")), std::vector<std::string>{"Copy.Dat"});
}

TEST_F(CopyTest, GivesTheWindows98Answers) {
  machine_.WriteFile("a.txt", "aaa");
  machine_.WriteFile("b.txt", "bbb");
  machine_.WriteFile("hidden.txt", "hhh");
  SetHostDosAttrib(machine_.OnC("hidden.txt"), "0x02");
  struct Case {
    const char* from;
    const char* to;
    BOOL fail_if_exists;
    DWORD error;
  } cases[] = {
      {"C:\\a.txt", "C:\\b.txt", TRUE, ERROR_FILE_EXISTS},
      {"C:\\a.txt", "C:\\B.TXT", TRUE, ERROR_FILE_EXISTS},
      {"C:\\a.txt", "C:\\a.txt", FALSE, ERROR_FILE_EXISTS},  // onto itself (NT: sharing violation)
      {"C:\\a.txt", "C:\\A.TXT", FALSE, ERROR_FILE_EXISTS},
      {"C:\\a.txt", "C:\\hidden.txt", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\a.txt", "C:\\WINDOWS", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\missing.txt", "C:\\new.txt", FALSE, ERROR_FILE_NOT_FOUND},
      {"C:\\nowhere\\a.txt", "C:\\new.txt", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\a.txt", "C:\\nowhere\\new.txt", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\WINDOWS", "C:\\new.txt", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\a.txt", "C:\\bad?.txt", FALSE, ERROR_INVALID_NAME},
  };
  for (const Case& c : cases) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(c.from, c.to, c.fail_if_exists)) << c.from << " -> " << c.to;
    EXPECT_EQ(GetLastError(), c.error) << c.from << " -> " << c.to;
  }
  EXPECT_EQ(machine_.ReadFile("b.txt"), "bbb");
  EXPECT_EQ(machine_.ReadFile("a.txt"), "aaa");
  EXPECT_EQ(machine_.ReadFile("hidden.txt"), "hhh");
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("new.txt")));

  // Replacing keeps the target's on-disk spelling.
  ASSERT_TRUE(CopyFileA("C:\\a.txt", "C:\\B.TXT", FALSE));
  EXPECT_EQ(machine_.ReadFile("b.txt"), "aaa");
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("B.TXT")));
}

TEST_F(CopyTest, CopiesEmptyFilesAndReplacesLargerOnes) {
  machine_.WriteFile("empty.txt", "");
  machine_.WriteFile("large.txt", std::string(5000, 'L'));
  ASSERT_TRUE(CopyFileA("C:\\empty.txt", "C:\\large.txt", FALSE));
  EXPECT_EQ(machine_.ReadFile("large.txt"), "");
  for (const std::string& name : HostEntries(machine_.OnC("")))
    EXPECT_EQ(name.find(':'), std::string::npos) << "a temporary file was left: " << name;
}

}  // namespace
}  // namespace w98::testing
