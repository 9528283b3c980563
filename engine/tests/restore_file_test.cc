// Single-file restore sessions: the session files over several calls and the closing call's
// staging, compared with expected files typed out by hand, and catalogue texts that must not
// break a batch line.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <w98/w98.h>

#include "catalogue_access.h"
#include "engine_testing.h"
#include "golden.h"

namespace snapshot::testing {
namespace {

constexpr char kFirst[] = "19981115.S01";
constexpr char kSecond[] = "19981116.S02";
constexpr char kAutoexec[] = "@ECHO OFF\r\nPATH C:\\WINDOWS\r\n";
constexpr char kBootSession[] = "c:\\windows\\zemo\\snapshot\\_rfbob.sav";
constexpr char kWinSession[] = "c:\\windows\\zemo\\snapshot\\_rfbow.sav";

std::string Dos(const std::string& path) {
  std::ifstream in(w98::HostPathOf(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Two snapshots of the same four files (so the second shares every version of the first), the
// .pif files in the store. Aliases: AUTOEXEC.BAT 0, SYSTEM.INI 1, EMPTY.INI 2, the long name 3.
class RestoreFile : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.PutFile("AUTOEXEC.BAT", kAutoexec);
    machine_.PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\n");
    machine_.PutFile("WINDOWS/EMPTY.INI", "");
    machine_.PutFile("WINDOWS/Long File Name.txt", "long\r\n");
    machine_.Provision(
        {{"C:\\AUTOEXEC.BAT"}, {"\\SYSTEM.INI", "\\EMPTY.INI", "\\Long File Name.txt"}});
    for (const char* pif : {"RPL.pif", "RPN.pif", "RPH.pif"})
      machine_.WriteFile(std::string("WINDOWS/ZEMO/SNAPSHOT/") + pif, "pif");
    ASSERT_EQ(SS_OK, machine_.Init());
    ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save(kFirst));
    ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save(kSecond));
  }

  EngineMachine machine_;
};

TEST_F(RestoreFile, OneOpenCallWritesTheSessionAndStagesOnlyThePifFiles) {
  ASSERT_EQ(SS_OK, RestoreSSFile(kFirst, "SYSTEM.INI", 0, 1));
  ExpectSameBytes(Golden("session_one_bob"), Dos(kBootSession), "_rfbob.sav");
  ExpectSameBytes(Golden("session_one_bow"), Dos(kWinSession), "_rfbow.sav");
  EXPECT_EQ(kAutoexec, Dos("c:\\windows\\temp\\AUTOEXEC.BAT"));
  EXPECT_TRUE(Exists("c:\\windows\\temp\\RPN.pif"));
  for (const char* staged : {"rb.bat", "rw.bat", "rw_ini.bat"})
    EXPECT_FALSE(Exists(std::string("c:\\windows\\temp\\") + staged)) << staged;
  EXPECT_EQ(kAutoexec, Dos("c:\\AUTOEXEC.BAT"));
  EXPECT_FALSE(Exists("c:\\windows\\zemo\\snapshot\\REGWIN.INI"));
  EXPECT_EQ("<missing>", Setting("DoRestore"));
}

TEST_F(RestoreFile, SeveralCallsThenTheClosingCall) {
  ASSERT_EQ(SS_OK, RestoreSSFile(kFirst, "SYSTEM.INI", 0, 0));
  ASSERT_EQ(SS_OK, RestoreSSFile(kFirst, "Long File Name.txt", 0, 0));
  ASSERT_EQ(SS_OK, RestoreSSFile(kSecond, "EMPTY.INI", 0, 0));
  ASSERT_EQ(SS_OK, RestoreSSFile(kFirst, "AUTOEXEC.BAT", 1, 2));

  // Each call begins on a line of its own, also after a line that the previous call left open.
  ExpectSameBytes(Golden("session_four_bob"), Dos(kBootSession), "_rfbob.sav");
  ExpectSameBytes(Golden("session_four_bow"), Dos(kWinSession), "_rfbow.sav");

  // The closing call staged the session.
  EXPECT_EQ(Dos(kBootSession), Dos("c:\\windows\\temp\\rb.bat"));
  EXPECT_EQ(Dos(kWinSession), Dos("c:\\windows\\temp\\rw.bat"));
  ExpectSameBytes(kAutoexec + Golden("session_hook"), Dos("c:\\AUTOEXEC.BAT"), "AUTOEXEC.BAT");
  ExpectSameBytes(Golden("restore_rw_ini"), Dos("c:\\windows\\temp\\rw_ini.bat"), "rw_ini.bat");
  ExpectSameBytes(Golden("session_regwin"), Dos("c:\\windows\\zemo\\snapshot\\REGWIN.INI"),
                  "REGWIN.INI");
  EXPECT_EQ("1", Setting("DoRestore"));
  EXPECT_EQ(0u, Dos("c:\\windows\\zemo\\snapshot\\alltabs.sav").rfind("REGEDIT4", 0));
}

TEST_F(RestoreFile, ALaterCallDoesNotUndoTheRestoreOfAutoexec) {
  ASSERT_EQ(SS_OK, RestoreSSFile(kFirst, "AUTOEXEC.BAT", 0, 0));
  ASSERT_EQ(SS_OK, RestoreSSFile(kFirst, "SYSTEM.INI", 0, 0));
  ASSERT_EQ(SS_OK, RestoreSSFile(kFirst, "NOTHERE.INI", 1, 0));
  // No line of the Windows phase copies the present AUTOEXEC.BAT over the restored one.
  const std::string win = Dos(kWinSession);
  EXPECT_NE(std::string::npos,
            win.find("COPY /Y \"c:\\windows\\zemo\\snapshot\\backup\\00000000.98b\" "
                     "\"C:\\AUTOEXEC.BAT\""))
      << win;
  EXPECT_EQ(std::string::npos, win.find("c:\\windows\\temp\\AUTOEXEC.BAT")) << win;
  EXPECT_EQ(std::string::npos, win.find("DEL \"C:\\AUTOEXEC.BAT\"")) << win;
}

TEST_F(RestoreFile, FilesTheSnapshotDoesNotHoldOrHoldsTwice) {
  // Not held: only the session lines, and no failure.
  ASSERT_EQ(SS_OK, RestoreSSFile(kFirst, "system.ini", 0, 0)) << "names compare exactly";
  ASSERT_EQ(SS_OK, RestoreSSFile(kFirst, "", 0, 0));
  const std::string boot = Dos(kBootSession);
  EXPECT_EQ(std::string::npos, boot.find("REM FILENAME=")) << boot;
  EXPECT_EQ(std::string::npos, Dos(kWinSession).find("REM FILENAME="));
}

TEST_F(RestoreFile, TheFirstOfTwoVersionsInListOrderIsRestored) {
  machine_.PutFile("SYSTEM.INI", "[root]\r\n");
  machine_.Provision({{"C:\\SYSTEM.INI"}, {"\\SYSTEM.INI"}});
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981117.S03"));
  ASSERT_EQ(SS_OK, RestoreSSFile("19981117.S03", "SYSTEM.INI", 0, 0));
  const std::string boot = Dos(kBootSession);
  EXPECT_NE(std::string::npos, boot.find("REM FILENAME=\"C:\\SYSTEM.INI\"")) << boot;
  EXPECT_EQ(std::string::npos, boot.find("REM FILENAME=\"C:\\WINDOWS\\SYSTEM.INI\"")) << boot;
}

TEST_F(RestoreFile, CatalogueTextsNeverBreakABatchLine) {
  // A catalogue changed behind the engine's back: a version and an attribute text holding line
  // breaks, and a folder holding a percent sign.
  const std::string key = quillow::catalogue::ReadText(kFirst, "KernelFileList", "File0").value();
  quillow::catalogue::WriteText("cref.tab", key, "Version", "4.0\r\nDEL C:\\COMMAND.COM");
  quillow::catalogue::WriteText("cref.tab", key, "Attrib", " +A \n -S  -H  -R ");
  quillow::catalogue::WriteText("cref.tab", key, "OriginalPath", "C:\\100%\\");
  const std::string file =
      quillow::catalogue::ReadText("cref.tab", key, "OriginalFileName").value();
  ASSERT_EQ(SS_OK, RestoreSSFile(kFirst, file.c_str(), 0, 0));

  const std::string boot = Dos(kBootSession);
  EXPECT_NE(std::string::npos, boot.find("\r\nREM FILENAME=\"C:\\100%%\\" + file +
                                         "\" VERSION=4.0  DEL C:\\COMMAND.COM\r\n"))
      << boot;
  EXPECT_NE(std::string::npos,
            boot.find("ATTRIB  +A   -S  -H  -R  \"C:\\100%%\\" + file + "\"\r\n"))
      << boot;
  EXPECT_EQ(std::string::npos, boot.find("\nDEL C:\\COMMAND.COM")) << boot;
  for (size_t at = boot.find('\n'); at != std::string::npos; at = boot.find('\n', at + 1))
    EXPECT_EQ('\r', boot[at - 1]) << "a bare line feed at byte " << at;
}

TEST_F(RestoreFile, AShortNameChangesNothing) {
  for (const char* name : {"", "1998", "19981115."})
    EXPECT_EQ(SS_RESTORE_BOOT_BATCH, RestoreSSFile(name, "SYSTEM.INI", 1, 1)) << name;
  EXPECT_EQ(SS_RESTORE_BOOT_BATCH, RestoreSSFile(nullptr, "SYSTEM.INI", 1, 1));
  EXPECT_FALSE(Exists(kBootSession));
  EXPECT_FALSE(Exists(kWinSession));
  EXPECT_EQ(kAutoexec, Dos("c:\\AUTOEXEC.BAT"));
  EXPECT_EQ("<missing>", Setting("DoRestore"));
}

TEST_F(RestoreFile, AMissingPifFileGives1009EvenWhenOnlyAdding) {
  machine_.RemoveFile("WINDOWS/ZEMO/SNAPSHOT/RPL.pif");
  EXPECT_EQ(SS_RESTORE_PIF, RestoreSSFile(kFirst, "SYSTEM.INI", 0, 0));
  EXPECT_NE(std::string::npos, Dos(kBootSession).find("SYSTEM.INI"));
}

}  // namespace
}  // namespace snapshot::testing
