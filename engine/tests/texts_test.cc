// The pieces of what a save writes: file keys, aliases, attribute texts, the 8.3 rule, and the
// restore block and record texts. (Whole batch files are compared with expected files in the
// save's golden tests.)
#include <gtest/gtest.h>

#include "file_facts.h"
#include "snapshot_names.h"
#include "texts/texts.h"

namespace snapshot {
namespace {

TEST(FileFacts, KeysAliasesAndAttributeTexts) {
  EXPECT_EQ("SYSTEM.INI|C://WINDOWS//|512|19981115|120000",
            FileKey("SYSTEM.INI", "C:\\WINDOWS\\", "512", "19981115", "120000"));
  EXPECT_EQ("AUTOEXEC.BAT|C://|0||", FileKey("AUTOEXEC.BAT", "C:\\", "0", "", ""));
  EXPECT_EQ("0000001A.98b", AliasName(26, 1998, 11));
  EXPECT_EQ("0001869F.01a", AliasName(99999, 2001, 10));
  EXPECT_EQ("00000000.00c", AliasName(0, 2000, 12));
  // Dates and times are zero-padded to their widths, and a wider number is never cut.
  const auto at = [](WORD year, WORD month, WORD day, WORD hour) {
    SYSTEMTIME when{};
    when.wYear = year;
    when.wMonth = month;
    when.wDay = day;
    when.wHour = hour;
    when.wSecond = 9;
    return when;
  };
  EXPECT_EQ("19980305", DateText(at(1998, 3, 5, 7)));
  EXPECT_EQ("070009", TimeText(at(1998, 3, 5, 7)));
  EXPECT_EQ("308271231", DateText(at(30827, 12, 31, 23)));
  EXPECT_EQ("230009", TimeText(at(30827, 12, 31, 23)));

  struct Row {
    DWORD attributes;
    const char* text;
    const char* letters;
  };
  const Row rows[] = {
      {FILE_ATTRIBUTE_ARCHIVE, " +A  -S  -H  -R ", ""},
      {0, " -A  -S  -H  -R ", ""},
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
           FILE_ATTRIBUTE_ARCHIVE,
       " +A  +S  +H  +R ", "SHR"},
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, " -A  -S  +H  +R ", "HR"},
      {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY, " -A  +S  -H  -R ", "S"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.text, AttributeText(row.attributes)) << std::hex << row.attributes;
    EXPECT_EQ(row.letters, AttributeLetters(row.attributes)) << std::hex << row.attributes;
  }
}

TEST(FileFacts, EightDotThreeDecidesTheBatch) {
  struct Row {
    const char* name;
    bool passes;
    bool kernel;
  };
  const Row rows[] = {
      {"SYSTEM.INI", true, true},
      {"KERNEL32.DLL", true, true},
      {"ABCDEFGHI.DLL", false, false},  // nine before the dot
      {"A.HTML", false, false},         // four after it
      {"MY FILE.TXT", false, false},    // a blank
      {"A.B C", false, false},
      {"A.B.C", true, true},    // split at the first dot
      {"NOEXT", false, false},  // no dot: the name less its first character, 4
      {"ABCD", true, true},
      {"ABCDE", false, false},
      {"AUTOEXEC.BAT", true, false},  // runs during the boot phase
      {"autoexec.bat", true, false},
      {"Long File Name.txt", false, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.passes, PassesEightDotThree(row.name)) << row.name;
    EXPECT_EQ(row.kernel, IsKernelFile(row.name)) << row.name;
  }
}

TEST(SnapshotNames, UsableNamesAndBatchNames) {
  EXPECT_TRUE(IsUsableSnapshotName("19981115.S01"));
  EXPECT_TRUE(IsUsableSnapshotName("19981115.SXX"));
  for (const char* name : {"", "19981115.", "1998111.S", "19981115.S0\\", "a:bcdefghij",
                           "1998111*.S01", "19981115.S0\n"})
    EXPECT_FALSE(IsUsableSnapshotName(name)) << name;
  EXPECT_EQ("19981115.B01", BatchFileName("19981115.S01", 'B'));
  EXPECT_TRUE(IsScheduledName("19981115.S00"));
  EXPECT_FALSE(IsScheduledName("19981115.S01"));
}

std::string Joined(const std::vector<std::string>& writes) {
  std::string text;
  for (const std::string& write : writes) text += write;
  return text;
}

TEST(RestoreBlock, FourShapesBySizeAndAttributes) {
  texts::RestoreItem item{"C:\\WINDOWS\\A.INI", "c:\\s\\backup\\00000001.98b", "4.10",
                          " +A  -S  -H  -R ", "12"};
  EXPECT_EQ(
      "\nREM FILENAME=\"C:\\WINDOWS\\A.INI\" VERSION=4.10\n"
      "COPY /Y \"c:\\s\\backup\\00000001.98b\" \"C:\\WINDOWS\\A.INI\"\n",
      Joined(texts::RestoreBlock(item)));
  item.attribute_text = " +A  +S  -H  +R ";
  EXPECT_EQ(
      "\nREM FILENAME=\"C:\\WINDOWS\\A.INI\" VERSION=4.10\n"
      "IF EXIST \"C:\\WINDOWS\\A.INI\" c:\\windows\\command\\ATTRIB -R -S -H "
      "\"C:\\WINDOWS\\A.INI\"\n"
      "COPY /Y \"c:\\s\\backup\\00000001.98b\" \"C:\\WINDOWS\\A.INI\"\n"
      "c:\\windows\\command\\ATTRIB  +A  +S  -H  +R  \"C:\\WINDOWS\\A.INI\"\n",
      Joined(texts::RestoreBlock(item)));
  item.size_text = "0";
  EXPECT_EQ(
      "\nREM FILENAME=\"C:\\WINDOWS\\A.INI\" VERSION=4.10\n"
      "IF EXIST \"C:\\WINDOWS\\A.INI\" c:\\windows\\command\\ATTRIB -R -S -H "
      "\"C:\\WINDOWS\\A.INI\"\n"
      "rem > \"C:\\WINDOWS\\A.INI\"\n"
      "c:\\windows\\command\\ATTRIB  +A  +S  -H  +R  \"C:\\WINDOWS\\A.INI\"\n",
      Joined(texts::RestoreBlock(item)));
  item.attribute_text = " +A  -S  -H  -R ";
  EXPECT_EQ("\nREM FILENAME=\"C:\\WINDOWS\\A.INI\" VERSION=4.10\nrem > \"C:\\WINDOWS\\A.INI\"\n",
            Joined(texts::RestoreBlock(item)));
}

TEST(RestoreBlock, PercentSignsAreDoubledAndLineBreaksCannotEnterALine) {
  const texts::RestoreItem item{"C:\\100%\\%PATH%.INI", "c:\\s%\\backup\\0.98b", "1.0\r\nDEL C:\\X",
                                " +A  -S  -H  -R ", "3"};
  EXPECT_EQ(
      "\nREM FILENAME=\"C:\\100%%\\%%PATH%%.INI\" VERSION=1.0  DEL C:\\X\n"
      "COPY /Y \"c:\\s%%\\backup\\0.98b\" \"C:\\100%%\\%%PATH%%.INI\"\n",
      Joined(texts::RestoreBlock(item)));
  // The quick-restore list is no batch file: its paths stay as they are.
  EXPECT_EQ("\n1.0  DEL C:\\X\tC:\\100%\\%PATH%.INI\tc:\\s%\\backup\\0.98b\tSH",
            texts::QuickRestoreRecord("1.0\r\nDEL C:\\X", "C:\\100%\\%PATH%.INI",
                                      "c:\\s%\\backup\\0.98b", "SH"));
  EXPECT_EQ("\nNONE\tC:\\A\tc:\\B\t", texts::QuickRestoreRecord("", "C:\\A", "c:\\B", ""));
  const texts::Folders folders{"c:\\store%\\", "C:\\WINDOWS", "C:\\"};
  const std::string opening = Joined(texts::BootOpening(folders, "two\nlines"));
  EXPECT_NE(std::string::npos, opening.find("\nREM COMMENTS=two lines\n"));
  EXPECT_NE(std::string::npos, opening.find("\"c:\\store%%\\trestore.exe\""));
}

// On disk each "\n" is two bytes.
size_t DiskLength(const std::string& text) {
  size_t n = text.size();
  for (char c : text) n += c == '\n';
  return n;
}

TEST(BootBatch, ThePlaceholderAndItsReplacementHaveTheSameLengthOnDisk) {
  EXPECT_EQ(26u, DiskLength(std::string(texts::kBootPlaceholder)));
  EXPECT_EQ(26u, DiskLength(texts::BootTimeLine("235959")));
  EXPECT_EQ("@echo off\nREM TIME=235959", texts::BootTimeLine("235959"));
  const texts::Folders folders{"c:\\s\\", "C:\\WINDOWS", "C:\\"};
  EXPECT_EQ(std::string(texts::kBootPlaceholder), texts::BootOpening(folders, "")[0]);
  const std::string with = Joined(texts::BootClosing(folders, true));
  const std::string without = Joined(texts::BootClosing(folders, false));
  EXPECT_EQ(with.size(), without.size() + std::string("\nDEL \"c:\\config.sys\"\n").size());
}

TEST(RestoreStagingTexts, FoldersAreWrittenSafelyIntoBatchLinesAndTheRegistryScript) {
  const texts::Folders odd{"c:\\store%\\", "C:\\WIN%", "D:\\BOOT%\\"};
  EXPECT_EQ("\ndel D:\\BOOT%%\\AUTOEXEC.BAT\ncommand /c \"c:\\windows\\temp\\rw.bat\"",
            Joined(texts::RwIni(odd, true)));
  EXPECT_EQ(
      "\nREM CLOSE_SESSION\nDEL \"c:\\store%%\\_rfbob.sav\"\nDEL \"c:\\store%%\\_rfbow.sav\"\n",
      texts::SessionClose(odd));
  EXPECT_EQ("DEL \"D:\\BOOT%%\\AUTOEXEC.BAT\"",
            Joined(texts::AutoexecKeep(odd, texts::AutoexecState::kMissing)));
  EXPECT_EQ(
      "\n\"C:\\WIN%%\\regedit.exe\" \"/L:C:\\WIN%%\\system.dat\" \"/R:C:\\WIN%%\\user.dat\" "
      "\"c:\\store%%\\\\REGWIN.INI\" \n",
      texts::RegistryImportLine(odd));
  // In the registry script a boot folder below the root keeps every backslash escaped; the root
  // folder reads as the usual C:\\Windows.
  const std::string run = Joined(texts::RegWin(odd, 0, true));
  EXPECT_NE(
      std::string::npos,
      run.find("\"TavrinQuillow\"=\"D:\\\\BOOT%\\\\Windows\\\\Zemo\\\\Snapshot\\\\zemoqlb.exe\"\n"))
      << run;
  const texts::Folders usual{"c:\\windows\\zemo\\snapshot\\", "C:\\WINDOWS", "C:\\"};
  EXPECT_NE(std::string::npos,
            Joined(texts::RegWin(usual, 0, true))
                .find("\"TavrinQuillow\"=\"C:\\\\Windows\\\\Zemo\\\\Snapshot\\\\zemoqlb.exe\"\n"));
  EXPECT_EQ(3u, texts::RegWin(usual, 2, false).size()) << "no Run section";
  EXPECT_EQ("\nREM 19981115.S01 ======================\n", texts::SessionHeader("19981115.S01"));
}

}  // namespace
}  // namespace snapshot
