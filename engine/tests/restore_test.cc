// Staging the restore of a whole snapshot: the staged files, the AUTOEXEC.BAT hook, rw_ini.bat
// and REGWIN.INI compared with expected files typed out by hand, and the status of the staging
// when steps fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <w98/w98.h>

#include "engine_testing.h"
#include "golden.h"

namespace snapshot::testing {
namespace {

constexpr char kName[] = "19981115.S01";
constexpr char kAutoexec[] = "@ECHO OFF\r\nPATH C:\\WINDOWS\r\n";
constexpr DWORD kSystemHiddenReadOnly =
    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY;

// A machine with one snapshot of four files and the restart program's .pif files in the store.
class RestoreImage : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.PutFile("AUTOEXEC.BAT", kAutoexec);
    machine_.PutFile("MSDOS.SYS", "[Paths]\r\nWinDir=C:\\WINDOWS\r\n[Options]\r\nLogo=1\r\n",
                     kSystemHiddenReadOnly);
    machine_.PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\n");
    machine_.PutFile("WINDOWS/EMPTY.INI", "");
    machine_.PutFile("WINDOWS/Long File Name.txt", "long\r\n");
    machine_.Provision(
        {{"C:\\AUTOEXEC.BAT"}, {"\\SYSTEM.INI", "\\EMPTY.INI", "\\Long File Name.txt"}});
    for (const char* pif : {"RPL.pif", "RPN.pif", "RPH.pif"})
      machine_.WriteFile(std::string("WINDOWS/ZEMO/SNAPSHOT/") + pif, std::string("pif ") + pif);
    ASSERT_EQ(SS_OK, machine_.Init());
    ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save(kName));
  }

  // A file of the machine by its DOS path, read on the host ("" when missing).
  static std::string Dos(const std::string& path) {
    std::ifstream in(w98::HostPathOf(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  static void Remove(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
  }
  // The RunOnce value line of the staged REGWIN.INI.
  static std::string RunOnceLine() {
    const std::string regwin = Dos("c:\\windows\\zemo\\snapshot\\REGWIN.INI");
    const size_t at = regwin.find("\"Snapshot\"=");
    return at == std::string::npos ? "" : regwin.substr(at, regwin.find('\r', at) - at);
  }

  EngineMachine machine_;
};

TEST_F(RestoreImage, EverythingPresentStagesEveryFile) {
  ASSERT_EQ(SS_OK, RestoreSSImg(kName, 1));

  EXPECT_EQ(machine_.StoreFile("batch/19981115.B01"), Dos("c:\\windows\\temp\\rb.bat"));
  EXPECT_EQ(machine_.StoreFile("batch/19981115.W01"), Dos("c:\\windows\\temp\\rw.bat"));
  EXPECT_EQ(machine_.StoreFile("batch/19981115.D01"), Dos("c:\\windows\\temp\\trestdat"));
  EXPECT_NE("", Dos("c:\\windows\\temp\\rb.bat"));
  ExpectSameBytes(kAutoexec + Golden("restore_hook"), Dos("c:\\AUTOEXEC.BAT"), "AUTOEXEC.BAT");
  ExpectSameBytes(Golden("restore_rw_ini"), Dos("c:\\windows\\temp\\rw_ini.bat"), "rw_ini.bat");
  ExpectSameBytes(Golden("restore_regwin", "{SWITCH}", " /QN"),
                  Dos("c:\\windows\\zemo\\snapshot\\REGWIN.INI"), "REGWIN.INI");
  for (const char* pif : {"RPL.pif", "RPN.pif", "RPH.pif"})
    EXPECT_EQ(std::string("pif ") + pif, Dos(std::string("c:\\windows\\temp\\") + pif)) << pif;

  // The logo is off, through the profile call, which keeps the other lines.
  char logo[8] = "?";
  GetPrivateProfileStringA("Options", "Logo", "", logo, sizeof logo, "c:\\msdos.sys");
  EXPECT_STREQ("0", logo);
  EXPECT_NE(std::string::npos, Dos("c:\\MSDOS.SYS").find("WinDir=C:\\WINDOWS"));
  EXPECT_EQ(0u, GetFileAttributesA("c:\\msdos.sys") & kSystemHiddenReadOnly);

  // The catalogue as it is now, for Init to put back after the restart.
  const std::string backup = Dos("c:\\windows\\zemo\\snapshot\\alltabs.sav");
  EXPECT_EQ(0u, backup.rfind("REGEDIT4", 0)) << backup.substr(0, 40);
  EXPECT_NE(std::string::npos,
            backup.find("[HKEY_CURRENT_USER\\Software\\Zemo\\Snapshot\\19981115.S01"));
  EXPECT_EQ("<missing>", Setting("DoRestore")) << "the caller records the pending restore";

  // A second call appends a second hook.
  ASSERT_EQ(SS_OK, RestoreSSImg(kName, 1));
  ExpectSameBytes(kAutoexec + Golden("restore_hook") + Golden("restore_hook"),
                  Dos("c:\\AUTOEXEC.BAT"), "AUTOEXEC.BAT after two restores");
}

TEST_F(RestoreImage, NoAutoexecIsCreatedAndDeletedByRwIni) {
  machine_.RemoveFile("AUTOEXEC.BAT");
  std::filesystem::remove_all(machine_.OnC("WINDOWS/TEMP"));
  ASSERT_EQ(SS_OK, RestoreSSImg(kName, 0));
  ExpectSameBytes(Golden("restore_hook"), Dos("c:\\AUTOEXEC.BAT"), "the created AUTOEXEC.BAT");
  ExpectSameBytes(Golden("restore_rw_ini_created"), Dos("c:\\windows\\temp\\rw_ini.bat"),
                  "rw_ini.bat");
  EXPECT_TRUE(Exists("c:\\windows\\temp\\rb.bat")) << "the staging folder is created";
}

TEST_F(RestoreImage, RestartModesChooseTheSwitch) {
  const std::pair<LONG, const char*> modes[] = {
      {0, " /QH"}, {1, " /QN"}, {2, " /QL"}, {7, " /QN"}, {-1, " /QN"}};
  for (const auto& [mode, option] : modes) {
    ASSERT_EQ(SS_OK, RestoreSSImg(kName, mode)) << mode;
    EXPECT_EQ(std::string("\"Snapshot\"=\"c:\\\\windows\\\\zemo\\\\snapshot\\\\qlreboot.exe") +
                  option + "\"",
              RunOnceLine())
        << "mode " << mode;
  }
}

TEST_F(RestoreImage, FailedStepsAreRecordedAndLaterStepsStillRun) {
  // The Windows-phase batch is missing: 1002, and every later step is still carried out.
  const std::string win_batch = "c:\\windows\\zemo\\snapshot\\batch\\19981115.W01";
  const std::string boot_batch = "c:\\windows\\zemo\\snapshot\\batch\\19981115.B01";
  const std::string saved_win = machine_.StoreFile("batch/19981115.W01");
  Remove(win_batch);
  Remove("c:\\windows\\temp\\rw_ini.bat");
  EXPECT_EQ(SS_RESTORE_WIN_BATCH, RestoreSSImg(kName, 2));
  EXPECT_TRUE(Exists("c:\\windows\\temp\\rb.bat"));
  EXPECT_FALSE(Exists("c:\\windows\\temp\\rw.bat")) << "the old staged copy is deleted first";
  ExpectSameBytes(kAutoexec + Golden("restore_hook"), Dos("c:\\AUTOEXEC.BAT"), "AUTOEXEC.BAT");
  ExpectSameBytes(Golden("restore_rw_ini"), Dos("c:\\windows\\temp\\rw_ini.bat"), "rw_ini.bat");
  ExpectSameBytes(Golden("restore_regwin", "{SWITCH}", " /QL"),
                  Dos("c:\\windows\\zemo\\snapshot\\REGWIN.INI"), "REGWIN.INI");
  EXPECT_TRUE(Exists("c:\\windows\\temp\\RPH.pif"));

  // Both batch files missing: the later failure wins.
  const std::string saved_boot = machine_.StoreFile("batch/19981115.B01");
  Remove(boot_batch);
  EXPECT_EQ(SS_RESTORE_WIN_BATCH, RestoreSSImg(kName, 1));
  // ... and a REGWIN.INI that cannot be written replaces both.
  machine_.PutFile("WINDOWS/ZEMO/SNAPSHOT/REGWIN.INI", "old",
                   FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(SS_RESTORE_REGWIN, RestoreSSImg(kName, 1));
  EXPECT_EQ("old", Dos("c:\\windows\\zemo\\snapshot\\REGWIN.INI"));

  // Only the boot-phase batch missing.
  machine_.WriteFile("WINDOWS/ZEMO/SNAPSHOT/batch/19981115.W01", saved_win);
  Remove("c:\\windows\\zemo\\snapshot\\REGWIN.INI");
  EXPECT_EQ(SS_RESTORE_BOOT_BATCH, RestoreSSImg(kName, 1));
  machine_.WriteFile("WINDOWS/ZEMO/SNAPSHOT/batch/19981115.B01", saved_boot);

  // An AUTOEXEC.BAT that can be neither opened nor created (a folder of that name): 1003;
  // an rw_ini.bat that cannot be written after it: 1005.
  machine_.RemoveFile("AUTOEXEC.BAT");
  std::filesystem::create_directory(machine_.OnC("AUTOEXEC.BAT"));
  EXPECT_EQ(SS_RESTORE_AUTOEXEC, RestoreSSImg(kName, 1));
  machine_.PutFile("WINDOWS/TEMP/rw_ini.bat", "old",
                   FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(SS_RESTORE_RW_INI, RestoreSSImg(kName, 1));
  std::filesystem::remove(machine_.OnC("AUTOEXEC.BAT"));
  Remove("c:\\windows\\temp\\rw_ini.bat");
  EXPECT_EQ(SS_OK, RestoreSSImg(kName, 1));
}

TEST_F(RestoreImage, AMissingPifFileReplacesEveryOtherCode) {
  machine_.RemoveFile("WINDOWS/ZEMO/SNAPSHOT/RPN.pif");
  machine_.PutFile("WINDOWS/ZEMO/SNAPSHOT/REGWIN.INI", "old",
                   FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(SS_RESTORE_PIF, RestoreSSImg(kName, 1));
  // The three copies are all attempted.
  EXPECT_TRUE(Exists("c:\\windows\\temp\\RPL.pif"));
  EXPECT_FALSE(Exists("c:\\windows\\temp\\RPN.pif"));
  EXPECT_TRUE(Exists("c:\\windows\\temp\\RPH.pif"));
}

TEST_F(RestoreImage, AFullDiskFailsEveryStepItStops) {
  // Empty .pif files need no room, so the last step that could not write decides the status.
  for (const char* pif : {"RPL.pif", "RPN.pif", "RPH.pif"})
    machine_.WriteFile(std::string("WINDOWS/ZEMO/SNAPSHOT/") + pif, "");
  machine_.LeaveRoom(0);
  // REGWIN.INI is created but its text does not fit: that is a failure of its step.
  EXPECT_EQ(SS_RESTORE_REGWIN, RestoreSSImg(kName, 1));
  EXPECT_EQ(kAutoexec, Dos("c:\\AUTOEXEC.BAT")) << "no part of the hook was written";
  EXPECT_EQ("", Dos("c:\\windows\\temp\\rw_ini.bat"));

  machine_.SetCapacity(0);
  EXPECT_EQ(SS_OK, RestoreSSImg(kName, 1));
  ExpectSameBytes(kAutoexec + Golden("restore_hook"), Dos("c:\\AUTOEXEC.BAT"), "AUTOEXEC.BAT");
  ExpectSameBytes(Golden("restore_rw_ini"), Dos("c:\\windows\\temp\\rw_ini.bat"), "rw_ini.bat");
}

TEST_F(RestoreImage, AShortNameStagesNothing) {
  for (const char* name : {"", "19981115", "19981115.", "..\\..\\x.S01"}) {
    EXPECT_EQ(SS_RESTORE_BOOT_BATCH, RestoreSSImg(name, 1)) << name;
  }
  EXPECT_EQ(SS_RESTORE_BOOT_BATCH, RestoreSSImg(nullptr, 1));
  EXPECT_EQ(kAutoexec, Dos("c:\\AUTOEXEC.BAT"));
  EXPECT_FALSE(Exists("c:\\windows\\zemo\\snapshot\\alltabs.sav"));
  EXPECT_FALSE(Exists("c:\\windows\\temp\\rw_ini.bat"));
}

}  // namespace
}  // namespace snapshot::testing
