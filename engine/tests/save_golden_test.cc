// The files a save writes, compared byte for byte with expected files typed out by hand from
// the batch-file tables (golden/). Only the time of the save is filled into them.
#include <gtest/gtest.h>

#include "engine_testing.h"
#include "golden.h"
#include "temp_machine.h"
#include "version/pe_writer.h"

namespace snapshot::testing {
namespace {

// The time the save wrote on its second line: "REM TIME=" and six digits.
std::string SaveTime(const std::string& boot_batch) {
  const size_t at = boot_batch.find("REM TIME=");
  return at == std::string::npos ? "" : boot_batch.substr(at + 9, 6);
}

std::string Versioned(const std::string& file_version) {
  w98::internal::VersionSpec resource;
  resource.strings = {{"FileVersion", file_version}};
  return w98::internal::BuildExecutable(w98::internal::ExecutableKind::kPe32, resource);
}

TEST(SaveGolden, KernelAndUserFilesOfEveryShape) {
  EngineMachine machine;
  machine.PutFile("AUTOEXEC.BAT", "@ECHO OFF\r\nPATH C:\\WINDOWS\r\n");
  machine.RemoveFile("CONFIG.SYS");
  machine.PutFile("MSDOS.SYS", "[Options]\r\nLogo=1\r\n",
                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  machine.PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\nshell=Explorer.exe\r\n");
  machine.PutFile("WINDOWS/EMPTY.INI", "");
  machine.PutFile("WINDOWS/HIDDEN.LOG", "", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN);
  machine.PutFile("WINDOWS/Long File Name.txt", "a long-named user file\r\n");
  machine.PutFile("WINDOWS/100%.INI", "[percent]\r\n");
  machine.PutFile("WINDOWS/QTEST/VGA.DRV", Versioned("4.10.2222 "));
  machine.PutFile("WINDOWS/NOEXT", "no extension\r\n");
  machine.Provision({{"C:\\AUTOEXEC.BAT", "c:\\config.sys", "C:\\MSDOS.SYS"},
                     {"\\SYSTEM.INI", "\\EMPTY.INI", "\\HIDDEN.LOG", "\\Long File Name.txt",
                      "\\100%.INI", "\\QTEST\\*.DRV", "\\NOEXT"}});
  ASSERT_EQ(SS_OK, machine.Init());

  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine.Save("19981115.S01", "Golden snapshot"));

  const std::string boot = machine.StoreFile("batch/19981115.B01");
  const std::string time = SaveTime(boot);
  ASSERT_EQ(6u, time.size()) << boot;
  ExpectSameBytes(Golden("basic_B", "{HHMMSS}", time), boot, "the boot-phase batch");
  ExpectSameBytes(Golden("basic_W", "{HHMMSS}", time), machine.StoreFile("batch/19981115.W01"),
                  "the Windows-phase batch");
  ExpectSameBytes(Golden("basic_D", "{HHMMSS}", time), machine.StoreFile("batch/19981115.D01"),
                  "the quick-restore list");
  ExpectSameBytes(Golden("basic_backup.log", "{HHMMSS}", time), machine.StoreFile("backup.log"),
                  "backup.log");
  // The work files are what was copied into the batch folder.
  EXPECT_EQ(boot, machine.StoreFile("tempboot"));
  EXPECT_EQ(machine.StoreFile("batch/19981115.W01"), machine.StoreFile("tempwin"));
  EXPECT_EQ(Text("19981115.S01", "Misc", "Time"), time);
}

TEST(SaveGolden, OnlyLongNamesAndNoStartupFiles) {
  EngineMachine machine;
  machine.RemoveFile("AUTOEXEC.BAT");
  machine.RemoveFile("CONFIG.SYS");
  machine.PutFile("Read Me First.txt", "first\r\n",
                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  machine.PutFile("WINDOWS/Program Notes.txt", "");
  machine.Provision(
      {{"C:\\Read Me First.txt", "c:\\autoexec.bat", "C:\\CONFIG.SYS"}, {"\\Program Notes.txt"}});
  ASSERT_EQ(SS_OK, machine.Init());

  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine.Save("19981115.S02"));

  const std::string boot = machine.StoreFile("batch/19981115.B02");
  const std::string time = SaveTime(boot);
  ExpectSameBytes(Golden("longnames_B", "{HHMMSS}", time), boot, "the boot-phase batch");
  ExpectSameBytes(Golden("longnames_W", "{HHMMSS}", time), machine.StoreFile("batch/19981115.W02"),
                  "the Windows-phase batch");
  ExpectSameBytes(Golden("longnames_D", "{HHMMSS}", time), machine.StoreFile("batch/19981115.D02"),
                  "the quick-restore list");
  ExpectSameBytes(Golden("longnames_backup.log", "{HHMMSS}", time), machine.StoreFile("backup.log"),
                  "backup.log");
}

TEST(SaveGolden, EmptyPatternListGivesOnlyTheFixedLines) {
  EngineMachine machine;
  ASSERT_EQ(SS_OK, machine.Init());
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine.Save("19981115.S03"));
  EXPECT_EQ(
      "@echo off\r\n\r\n"
      "c:\\windows\\command\\ATTRIB \"c:\\windows\\zemo\\snapshot\\backup\\*.*\" +A -R -S "
      "-H\r\n\r\n"
      "c:\\windows\\command\\ATTRIB \"c:\\windows\\zemo\\snapshot\\backup\\*.*\" +A +R +S "
      "+H\r\n\r\n"
      "rem > \"c:\\windows\\zemo\\snapshot\\rw.suc\"\r\n",
      machine.StoreFile("batch/19981115.W03"));
  EXPECT_EQ("::Quillow DOS Restore File", machine.StoreFile("batch/19981115.D03"));
  EXPECT_EQ("", machine.StoreFile("backup.log"));
  EXPECT_EQ(0, Int("19981115.S03", "KernelFileList", "FileCount", 0));
  EXPECT_EQ(1, Int("19981115.S03", "Misc", "Valid"));
}

}  // namespace
}  // namespace snapshot::testing
