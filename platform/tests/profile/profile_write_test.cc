// Writing profile files: every other line kept, new keys at the end of their section, CR LF,
// deletions, the Windows folder for bare names, and the file layer's rules (read-only files,
// the archive bit).
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "core/machine.h"
#include "temp_machine.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

TEST(WritePrivateProfileString, EditsKeepEveryOtherLine) {
  TempMachine machine;
  machine.WriteFile("WINDOWS/EDIT.INI",
                    "; settings\n[Boot]\nshell = Explorer.exe\nnot a key\n\n[Options]\nLogo=1\n");
  struct Step {
    const char* section;
    const char* key;
    const char* value;
  } steps[] = {
      {"options", "LOGO", "0"},      // replaced in place, spelling of the key kept
      {"boot", "added", "yes"},      // at the end of its section, before the blank line
      {"New Section", "k", "v w"},   // a new section at the end of the file
      {"new section", "empty", ""},  // "key=" for an empty value
      {"Boot", "SHELL", nullptr},    // NULL value deletes the key
      {"gone", nullptr, nullptr},    // deleting what is not there changes nothing
      {"options", "missing", nullptr},
  };
  for (const Step& s : steps)
    ASSERT_TRUE(WritePrivateProfileStringA(s.section, s.key, s.value, "edit.ini"))
        << s.section << "/" << (s.key ? s.key : "NULL") << " error " << GetLastError();
  EXPECT_EQ(machine.ReadFile("WINDOWS/EDIT.INI"),
            "; settings\r\n[Boot]\r\nnot a key\r\nadded=yes\r\n\r\n[Options]\r\nLogo=0\r\n"
            "[New Section]\r\nk=v w\r\nempty=\r\n");
  ASSERT_TRUE(WritePrivateProfileStringA("Boot", nullptr, nullptr, "EDIT.INI"));
  EXPECT_EQ(machine.ReadFile("WINDOWS/EDIT.INI"),
            "; settings\r\n[Options]\r\nLogo=0\r\n[New Section]\r\nk=v w\r\nempty=\r\n");
}

TEST(WritePrivateProfileString, CreatesTheFileInTheWindowsFolder) {
  TempMachine machine;
  ASSERT_TRUE(WritePrivateProfileStringA("snapshot", "DoRestore", "1", "sswizard.ini"));
  EXPECT_EQ(machine.ReadFile("WINDOWS/sswizard.ini"), "[snapshot]\r\nDoRestore=1\r\n");
  EXPECT_EQ(GetPrivateProfileIntA("SNAPSHOT", "dorestore", 0, "C:\\WINDOWS\\SSWIZARD.INI"), 1u);
  EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\SSWIZARD.INI") & FILE_ATTRIBUTE_ARCHIVE,
            static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));

  // A path with a folder is used as given (relative to the current folder, "C:\").
  ASSERT_TRUE(WritePrivateProfileStringA("a", "b", "c", "C:\\WINDOWS\\TEMP\\X.INI"));
  EXPECT_EQ(machine.ReadFile("WINDOWS/TEMP/X.INI"), "[a]\r\nb=c\r\n");
  // Deleting from a file that does not exist does not create it.
  ASSERT_TRUE(WritePrivateProfileStringA("a", "b", nullptr, "NEVER.INI"));
  EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\NEVER.INI"), INVALID_FILE_ATTRIBUTES);
}

TEST(WritePrivateProfileString, RefusesWhatWindowsRefuses) {
  TempMachine machine;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "v", "X.INI"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // The cache flush of Windows 98 reports FALSE.
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "X.INI"));
  EXPECT_FALSE(WriteProfileStringA(nullptr, nullptr, nullptr));

  EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", "C:\\NO\\SUCH\\X.INI"));
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

  // A line break would smuggle a line of its own into the file.
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", "X.INI"));
  const char* const injected[][3] = {
      {"s", "k", "v\r\n[boot]\r\nshell=evil.exe"}, {"s", "k2\n", "v"}, {"s]\r\n[t", "k", "v"}};
  for (const auto& w : injected) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WritePrivateProfileStringA(w[0], w[1], w[2], "X.INI"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_EQ(machine.ReadFile("WINDOWS/X.INI"), "[s]\r\nk=v\r\n");
}

TEST(WritePrivateProfileString, LeavesAReadOnlyFileAsItWas) {
  TempMachine machine;
  machine.WriteFile("MSDOS.SYS.TXT", "[Options]\r\nLogo=1\r\n");
  ASSERT_TRUE(SetFileAttributesA("C:\\MSDOS.SYS.TXT", FILE_ATTRIBUTE_READONLY));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(WritePrivateProfileStringA("Options", "Logo", "0", "C:\\MSDOS.SYS.TXT"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(machine.ReadFile("MSDOS.SYS.TXT"), "[Options]\r\nLogo=1\r\n");
  // With its attributes made normal (as the engine does for MSDOS.SYS) the write goes through,
  // keeping the padding lines of the real file.
  EXPECT_TRUE(SetFileAttributesA("C:\\MSDOS.SYS", FILE_ATTRIBUTE_NORMAL));
  const std::string before = machine.ReadFile("MSDOS.SYS");
  ASSERT_TRUE(WritePrivateProfileStringA("Options", "Logo", "0", "C:\\MSDOS.SYS"));
  const std::string after = machine.ReadFile("MSDOS.SYS");
  EXPECT_NE(after.find("[Options]\r\nBootMulti=1\r\nBootGUI=1\r\nDoubleBuffer=1\r\nAutoScan=1\r\n"
                       "WinVer=4.10.1998\r\n;\r\n"),
            std::string::npos);
  EXPECT_EQ(after.size(), before.size() + std::strlen("Logo=0\r\n"));
  EXPECT_NE(after.find("xs\r\nLogo=0\r\n"), std::string::npos) << "appended after the padding";
}

TEST(WritePrivateProfileString, AFullDiskLeavesTheFileAsItWas) {
  TempMachine machine;
  ASSERT_TRUE(WritePrivateProfileStringA("snapshot", "latestss", "20240110.S01", "SSWIZARD.INI"));
  const std::string before = machine.ReadFile("WINDOWS/SSWIZARD.INI");
  std::uint64_t used = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(machine.OnC("")))
    if (e.is_regular_file()) used += e.file_size();
  ASSERT_TRUE(
      internal::Machine::Current()->WriteSetting("capacity", "C", std::to_string(used + 40)));

  SetLastError(0xdeadbeef);
  EXPECT_FALSE(WritePrivateProfileStringA("snapshot", "comments", std::string(100, 'c').c_str(),
                                          "SSWIZARD.INI"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(machine.ReadFile("WINDOWS/SSWIZARD.INI"), before);
  // What still fits is written.
  EXPECT_TRUE(WritePrivateProfileStringA("snapshot", "DoSave", "0", "SSWIZARD.INI"));
}

TEST(WriteProfileString, WritesWinIni) {
  TempMachine machine;
  ASSERT_TRUE(WriteProfileStringA("windows", "run", "C:\\TOOL.EXE"));
  char buffer[32];
  EXPECT_EQ(GetProfileStringA("Windows", "RUN", "", buffer, sizeof buffer), 11u);
  EXPECT_STREQ(buffer, "C:\\TOOL.EXE");
  EXPECT_NE(machine.ReadFile("WINDOWS/WIN.INI").find("[windows]\r\nload=\r\nrun=C:\\TOOL.EXE\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace w98::testing
