// A restore's whole road on a machine: snapshots saved by the engine, the restore staged by
// RestoreSSImg (or a single-file session by RestoreSSFile) and recorded as the main program
// records it, the machine restarted through its boot phase (AUTOEXEC.BAT, rb.bat, the DOS
// restore program or the COPY lines, the registry script) and its Windows start-up (the restart
// program runs rw_ini.bat and rw.bat), and Init afterwards putting the catalogue back.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>

#include <w98/faults.h>
#include <w98/session.h>
#include <w98/w98.h>

#include "engine_testing.h"
#include "installation.h"
#include "restore_settings.h"
#include "test_support.h"

namespace snapshot::testing {
namespace {

constexpr char kA[] = "19981115.S01";
constexpr char kB[] = "19981116.S02";
constexpr char kSettingKey[] = "Software\\Tavrin\\Road";
constexpr DWORD kSystemHiddenReadOnly =
    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY;

// The files as snapshot A saw them, and as they were changed before snapshot B.
struct MachineFiles {
  const char* autoexec;
  const char* system_ini;
  const char* msdos_sys;
  const char* long_file;
  const char* setting;  // a value of SYSTEM.DAT
  std::time_t written;  // last-write time of every file
};
constexpr MachineFiles kAsA = {
    "@ECHO OFF\r\nSET PATH=C:\\WINDOWS;C:\\WINDOWS\\COMMAND\r\n",
    "[boot]\r\nshell=Explorer.exe\r\n",
    "[Paths]\r\nWinDir=C:\\WINDOWS\r\n[Options]\r\nBootGUI=1\r\nLogo=1\r\n",
    "Dear editor,\r\nthe first draft.\r\n",
    "A",
    kNovember1998,
};
constexpr MachineFiles kAsB = {
    "@ECHO OFF\r\nSET PATH=C:\\WINDOWS;C:\\WINDOWS\\COMMAND\r\nSET MOUSE=C:\\MOUSE\r\n",
    "[boot]\r\nshell=Explorer.exe\r\nscrnsave.exe=BLANK.SCR\r\n",
    "[Paths]\r\nWinDir=C:\\WINDOWS\r\n[Options]\r\nBootGUI=1\r\nLogo=0\r\n",
    "Dear editor,\r\nthe second draft, much longer.\r\n",
    "B",
    kNovember1998 + 3 * 86400,
};

void SetSetting(const char* value) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingKey, 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegSetValueExA(key, "Setting", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                 static_cast<DWORD>(std::strlen(value) + 1));
  RegFlushKey(key);
  RegCloseKey(key);
}

std::string MachineValue(const std::string& key_path, const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return "(missing)";
  char data[512] = {};
  DWORD size = sizeof data - 1;
  const LONG rc =
      RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? std::string(data) : "(missing)";
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The product installed (with the maker's programs), the machine's files as `files` has them.
class RoadMachine : public EngineMachine {
 public:
  void Install() {
    quillow::InstallResult result;
    std::string error;
    ASSERT_TRUE(quillow::Install(
        {{"C:\\AUTOEXEC.BAT", "C:\\MSDOS.SYS", "c:\\config.sys"},
         {"\\SYSTEM.INI", "\\SYSTEM.DAT", "\\USER.DAT", "\\Long File Name.txt", "\\CONTROL.INI"}},
        &result, &error))
        << error;
  }

  void Put(const MachineFiles& files) {
    PutFile("AUTOEXEC.BAT", files.autoexec, FILE_ATTRIBUTE_ARCHIVE, files.written);
    PutFile("WINDOWS/SYSTEM.INI", files.system_ini, FILE_ATTRIBUTE_ARCHIVE, files.written);
    PutFile("MSDOS.SYS", files.msdos_sys, kSystemHiddenReadOnly | FILE_ATTRIBUTE_ARCHIVE,
            files.written);
    PutFile("WINDOWS/Long File Name.txt", files.long_file, FILE_ATTRIBUTE_ARCHIVE, files.written);
    SetSetting(files.setting);
  }

  // The attributes and last-write time of every file that a whole restore puts back, as the
  // file system lists them.
  static std::vector<std::string> FileFacts() {
    std::vector<std::string> facts;
    for (const char* path : {"C:\\AUTOEXEC.BAT", "C:\\WINDOWS\\SYSTEM.INI", "C:\\MSDOS.SYS",
                             "C:\\WINDOWS\\Long File Name.txt", "C:\\WINDOWS\\CONTROL.INI"}) {
      WIN32_FIND_DATAA found{};
      const HANDLE find = FindFirstFileA(path, &found);
      if (find == INVALID_HANDLE_VALUE) {
        facts.push_back(std::string(path) + " missing");
        continue;
      }
      FindClose(find);
      facts.push_back(std::string(path) + " attributes " + std::to_string(found.dwFileAttributes) +
                      " written " + std::to_string(found.ftLastWriteTime.dwHighDateTime) + ":" +
                      std::to_string(found.ftLastWriteTime.dwLowDateTime));
    }
    return facts;
  }

  void ExpectFiles(const MachineFiles& files) const {
    EXPECT_EQ(files.autoexec, ReadFile("AUTOEXEC.BAT"));
    EXPECT_EQ(files.system_ini, ReadFile("WINDOWS/SYSTEM.INI"));
    EXPECT_EQ(files.msdos_sys, ReadFile("MSDOS.SYS"));
    EXPECT_EQ(files.long_file, ReadFile("WINDOWS/Long File Name.txt"));
    EXPECT_EQ(files.setting, MachineValue(kSettingKey, "Setting")) << "SYSTEM.DAT";
  }

  // Restarts the machine with the w98 tool and waits for the Windows start-up to end; returns
  // the boot log.
  std::string Restart() const {
    const dostest::ProgramRun run =
        dostest::RunHostProgram("w98", {"restart", "--wait=120"}, Root());
    EXPECT_EQ(0, run.exit_code) << run.output;
    return dostest::ReadHostFile(w98::BootLogFile());
  }
};

// True when every text of `expected` occurs in `log`, each after the one before it.
bool InOrder(const std::string& log, const std::vector<std::string>& expected) {
  size_t at = 0;
  for (const std::string& text : expected) {
    at = log.find(text, at);
    if (at == std::string::npos) return false;
    at += text.size();
  }
  return true;
}

// The part of the boot log that the DOS phase wrote.
std::string DosPart(const std::string& log) {
  const size_t from = log.find("phase: DOS");
  const size_t to = log.find("phase: Windows start-up");
  if (from == std::string::npos || to == std::string::npos || to < from) return {};
  return log.substr(from, to - from);
}

enum class QuickRestore { kWorks, kMissing, kFailsWithCode2 };

class WholeRestoreRoad : public ::testing::TestWithParam<QuickRestore> {};

TEST_P(WholeRestoreRoad, TheMachineComesBackToSnapshotA) {
  RoadMachine machine;
  machine.Install();
  machine.RemoveFile("CONFIG.SYS");
  machine.Put(kAsA);
  // A provisioned file of A that is deleted before B: the restore brings it back.
  machine.PutFile("WINDOWS/CONTROL.INI", "[current]\r\ncolor schemes=Windows Standard\r\n",
                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  const std::vector<std::string> facts_of_a = RoadMachine::FileFacts();
  ASSERT_EQ(SS_OK, machine.Init());
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine.Save(kA, "before the changes"));
  machine.Put(kAsB);
  machine.RemoveFile("WINDOWS/CONTROL.INI");
  machine.PutFile("CONFIG.SYS", "DEVICE=C:\\WINDOWS\\HIMEM.SYS\r\n");
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine.Save(kB, "after the changes"));

  ASSERT_EQ(SS_OK, RestoreSSImg(kA, 1));
  ASSERT_TRUE(quillow::RecordPendingRestore(kA));
  if (GetParam() == QuickRestore::kMissing) {
    ASSERT_TRUE(DeleteFileA((std::string(kStore) + "trestore.exe").c_str()));
  }
  // The quick restore's first copy cannot read its stored copy: it ends with code 2.
  if (GetParam() == QuickRestore::kFailsWithCode2) {
    ASSERT_TRUE(w98::FailNthCopy(1, ERROR_READ_FAULT));
  }
  const std::string log = machine.Restart();
  w98::ClearFaults();

  machine.ExpectFiles(kAsA);
  EXPECT_EQ("[current]\r\ncolor schemes=Windows Standard\r\n",
            machine.ReadFile("WINDOWS/CONTROL.INI"))
      << "a file deleted after A comes back";
  EXPECT_EQ(facts_of_a, RoadMachine::FileFacts()) << log;
  EXPECT_FALSE(Exists("C:\\CONFIG.SYS")) << "snapshot A had none";
  EXPECT_TRUE(Exists(std::string(kStore) + "rb.suc")) << log;
  EXPECT_TRUE(Exists(std::string(kStore) + "rw.suc")) << log;
  EXPECT_FALSE(Exists("c:\\windows\\temp\\rb.bat")) << "the boot phase runs once";
  EXPECT_EQ("C:\\Windows\\Zemo\\Snapshot\\zemoqlb.exe",
            MachineValue("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "TavrinQuillow"));
  EXPECT_EQ(std::string::npos, log.find("Bad command or file name")) << log;
  EXPECT_TRUE(InOrder(
      log, {"phase: DOS", "C:\\COMMAND.COM /C C:\\AUTOEXEC.BAT",
            "REGWIN.INI has been successfully entered into the registry", "phase: Windows start-up",
            "RunOnce Snapshot: c:\\windows\\zemo\\snapshot\\qlreboot.exe /QN",
            "qlreboot: ran c:\\windows\\temp\\rw_ini.bat", "Run TavrinQuillow", "restart done"}))
      << log;
  const std::string dos = DosPart(log);
  switch (GetParam()) {
    case QuickRestore::kWorks:
      EXPECT_NE(std::string::npos, dos.find("files restored")) << log;
      EXPECT_EQ(std::string::npos, dos.find("file(s) copied")) << log;
      break;
    case QuickRestore::kMissing:
      EXPECT_EQ(std::string::npos, dos.find("trestore")) << log;
      EXPECT_NE(std::string::npos, dos.find("file(s) copied")) << log;
      break;
    case QuickRestore::kFailsWithCode2:
      EXPECT_NE(std::string::npos, dos.find("trestore: Not restored")) << log;
      EXPECT_NE(std::string::npos, dos.find("file(s) copied")) << log;
      break;
  }

  // The restored USER.DAT brought back the catalogue of A's save; Init puts today's back.
  EXPECT_EQ("1", Setting("DoRestore"));
  EXPECT_EQ(SS_OK, machine.Init());
  EXPECT_EQ("0", Setting("DoRestore"));
  EXPECT_EQ((std::vector<std::string>{kA, kB}), SnapshotList());
  EXPECT_EQ(std::vector<std::string>{}, StoreProblems());
}

INSTANTIATE_TEST_SUITE_P(Restart, WholeRestoreRoad,
                         ::testing::Values(QuickRestore::kWorks, QuickRestore::kMissing,
                                           QuickRestore::kFailsWithCode2),
                         [](const ::testing::TestParamInfo<QuickRestore>& param_info) {
                           switch (param_info.param) {
                             case QuickRestore::kWorks:
                               return "QuickRestore";
                             case QuickRestore::kMissing:
                               return "NoQuickRestoreProgram";
                             case QuickRestore::kFailsWithCode2:
                               return "QuickRestoreFails";
                           }
                           return "";
                         });

TEST(SingleFileRoad, TheSessionRestoresItsFilesAndPutsAutoexecBack) {
  RoadMachine machine;
  machine.Install();
  machine.Put(kAsA);
  ASSERT_EQ(SS_OK, machine.Init());
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine.Save(kA));
  machine.Put(kAsB);

  ASSERT_EQ(SS_OK, RestoreSSFile(kA, "SYSTEM.INI", 0, 1));
  ASSERT_EQ(SS_OK, RestoreSSFile(kA, "Long File Name.txt", 1, 1));
  const std::string log = machine.Restart();

  // The two files are A's; everything else stays as B had it, AUTOEXEC.BAT without the hook.
  EXPECT_EQ(kAsA.system_ini, machine.ReadFile("WINDOWS/SYSTEM.INI")) << log;
  EXPECT_EQ(kAsA.long_file, machine.ReadFile("WINDOWS/Long File Name.txt")) << log;
  EXPECT_EQ(kAsB.autoexec, machine.ReadFile("AUTOEXEC.BAT")) << log;
  EXPECT_EQ(kAsB.msdos_sys, machine.ReadFile("MSDOS.SYS"));
  EXPECT_EQ("B", MachineValue(kSettingKey, "Setting"));
  // The stored copies are protected again, and the session is over.
  for (const std::string& copy : machine.StoredCopies()) {
    const std::string path = std::string(kStore) + "backup\\" + copy;
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              GetFileAttributesA(path.c_str()) & (kSystemHiddenReadOnly | FILE_ATTRIBUTE_ARCHIVE))
        << copy;
  }
  EXPECT_FALSE(Exists(std::string(kStore) + "_rfbob.sav"));
  EXPECT_FALSE(Exists(std::string(kStore) + "_rfbow.sav"));
  EXPECT_FALSE(Exists(std::string(kStore) + "rb.suc")) << "single-file sessions write no marker";
  EXPECT_EQ(std::string::npos, log.find("Bad command or file name")) << log;

  EXPECT_EQ(SS_OK, machine.Init());
  EXPECT_EQ("0", Setting("DoRestore"));
  EXPECT_EQ(std::vector<std::string>{kA}, SnapshotList());
  EXPECT_EQ(std::vector<std::string>{}, StoreProblems());
}

}  // namespace
}  // namespace snapshot::testing
