// The road of a whole-snapshot restore through a restart, with the files that a prepared restore
// leaves behind written by hand (road/): the boot-phase batch rb.bat, the quick-restore list,
// the Windows-phase batch rw.bat and its launcher rw_ini.bat, the registry script REGWIN.INI and
// the hook lines at the end of AUTOEXEC.BAT. The stored copies are the files of "snapshot A";
// the machine is then changed, restarted, and must come back to A: in the boot phase through
// the quick restore, through the COPY lines when trestore.exe is missing, and through the COPY
// lines after the quick restore failed with exit code 2.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "boot_testing.h"
#include "temp_machine.h"
#include "test_support.h"
#include "w98/faults.h"
#include "w98/w98.h"
#include "w98/windows.h"

namespace {

using boottest::InOrder;

constexpr const char* kStore = "c:\\windows\\zemo\\snapshot\\";
constexpr const char* kSettingKey = "Software\\Tavrin\\Road";

// The files of snapshot A and the stored copy of each, as the restore files name them.
const struct {
  const char* original;
  const char* alias;
} kSnapshotFiles[] = {
    {"C:\\WINDOWS\\SYSTEM.INI", "5A1C0001.000"},
    {"C:\\MSDOS.SYS", "5A1C0002.000"},
    {"C:\\WINDOWS\\SYSTEM.DAT", "5A1C0003.000"},
    {"C:\\WINDOWS\\FLAG.DAT", "5A1C0004.000"},
    {"C:\\WINDOWS\\WIN.INI", "5A1C0005.000"},
    {"C:\\My Documents\\Letter to the editor.txt", "5A1C0006.000"},
    {"C:\\AUTOEXEC.BAT", "5A1C0007.000"},
};

std::string Fixture(const std::string& name) {
  return dostest::ReadHostFile(std::filesystem::path(ROAD_DIR) / name);
}

std::string Store(const std::string& name) {
  return std::string(kStore) + name;
}

void SetSetting(const char* value) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "Setting", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                 static_cast<DWORD>(std::strlen(value) + 1));
  RegFlushKey(key);
  RegCloseKey(key);
}

void ExpectScript(const std::string& name, bool setup) {
  for (const std::string& failure : dostest::RunScript(Fixture(name), setup))
    ADD_FAILURE() << name << ": " << failure;
}

// Writes a staged file as the engine writes it: in text mode, every line end CR LF.
void Stage(const std::string& fixture, const std::string& dos_path, bool append = false) {
  const std::string host = w98::HostPathOf(dos_path);
  ASSERT_FALSE(host.empty()) << dos_path;
  const std::string before = append ? dostest::ReadHostFile(host) : "";
  std::ofstream(host, std::ios::binary | std::ios::trunc)
      << before + boottest::Dos(Fixture(fixture));
}

// The machine after snapshot A was saved, then changed, then prepared for the restore of A.
void PrepareRoad(const w98::testing::TempMachine& machine) {
  ExpectScript("snapshot_a.setup", true);
  std::filesystem::remove(machine.OnC("CONFIG.SYS"));
  SetSetting("A");
  ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS\\SYSTEM.DAT",
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(CreateDirectoryA("C:\\WINDOWS\\ZEMO", nullptr));
  ASSERT_TRUE(CreateDirectoryA(Store("").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(Store("backup").c_str(), nullptr));
  for (const auto& file : kSnapshotFiles) {
    const std::string stored = Store("backup\\") + file.alias;
    ASSERT_TRUE(CopyFileA(file.original, stored.c_str(), TRUE)) << file.original;
    ASSERT_TRUE(SetFileAttributesA(stored.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                       FILE_ATTRIBUTE_SYSTEM |
                                                       FILE_ATTRIBUTE_ARCHIVE));
  }

  ExpectScript("changes_b.setup", true);
  ASSERT_TRUE(DeleteFileA("C:\\WINDOWS\\WIN.INI"));
  ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS\\SYSTEM.DAT", FILE_ATTRIBUTE_NORMAL));
  SetSetting("B");

  Stage("rb.bat", "c:\\windows\\temp\\rb.bat");
  Stage("rw.bat", "c:\\windows\\temp\\rw.bat");
  Stage("trestdat", "c:\\windows\\temp\\trestdat");
  Stage("rw_ini.bat", "c:\\windows\\temp\\rw_ini.bat");
  Stage("regwin.ini", Store("\\REGWIN.INI"));
  Stage("autoexec.hook", "C:\\AUTOEXEC.BAT", /*append=*/true);
}

// The part of the boot log that the DOS phase wrote.
std::string DosPart(const std::string& log) {
  const size_t from = log.find("phase: DOS");
  const size_t to = log.find("phase: Windows start-up");
  if (from == std::string::npos || to == std::string::npos || to < from) return {};
  return log.substr(from, to - from);
}

// What every way through the boot phase leaves behind.
void ExpectRestoredToSnapshotA(const std::string& log) {
  ExpectScript("restored.after", false);
  EXPECT_EQ(boottest::MachineValue(kSettingKey, "Setting"), "A") << "SYSTEM.DAT is A's";
  EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\SYSTEM.DAT") & 0x27,
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  // The registry script put the start-up entries into the restored hive; RunOnce ran.
  EXPECT_EQ(
      boottest::MachineValue("Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "Snapshot"),
      "(missing)");
  EXPECT_EQ(
      boottest::MachineValue("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "TavrinQuillow"),
      "C:\\Windows\\Zemo\\Snapshot\\zemoqlb.exe");
  EXPECT_NE(dostest::ReadHostFile(w98::HostPathOf(Store("zemoqlb.log"))).find("zemoqlb started"),
            std::string::npos);
  EXPECT_EQ(
      InOrder(log, {"phase: DOS", "C:\\COMMAND.COM /C C:\\AUTOEXEC.BAT",
                    "DOS> Information in c:\\windows\\zemo\\snapshot\\\\REGWIN.INI has been "
                    "successfully entered into the registry.",
                    "C:\\AUTOEXEC.BAT ended", "phase: Windows start-up",
                    "RunOnce Snapshot: c:\\windows\\zemo\\snapshot\\qlreboot.exe /QN",
                    "RunOnce Snapshot> qlreboot: ran c:\\windows\\temp\\rw_ini.bat",
                    "RunOnce Snapshot: ended with 0",
                    "Run TavrinQuillow: C:\\Windows\\Zemo\\Snapshot\\zemoqlb.exe", "restart done"}),
      "");
  EXPECT_EQ(log.find("Bad command or file name"), std::string::npos) << log;
}

const char kCleanLog[] =
    "Hardware Errors: 0\r\nRead Errors: 0\r\nWrite Errors: 0\r\nMemory Errors: 0\r\n"
    "Application Errors: 0\r\nLow Disk Space Errors: 0\r\n";

TEST(RestoreRoadTest, QuickRestoreInTheBootPhase) {
  w98::testing::TempMachine machine;
  PrepareRoad(machine);
  const auto run = boottest::RunTool(machine, {"restart", "--wait=120"});
  ASSERT_EQ(run.exit_code, 0) << run.output;
  const std::string log = boottest::BootLog();
  ExpectRestoredToSnapshotA(log);
  const std::string dos = DosPart(log);
  EXPECT_NE(dos.find("DOS> trestore: 5 of 5 files restored"), std::string::npos) << log;
  EXPECT_EQ(dos.find("file(s) copied"), std::string::npos) << "the COPY lines were skipped\n"
                                                           << log;
  EXPECT_EQ(dostest::ReadHostFile(w98::HostPathOf(Store("trestore.log"))), kCleanLog);

  // Everything ran once: the next restart restores nothing again.
  ASSERT_TRUE(
      WritePrivateProfileStringA("boot", "scrnsave.exe", "BLANK.SCR", "C:\\WINDOWS\\SYSTEM.INI"));
  const std::string changed = machine.ReadFile("WINDOWS/SYSTEM.INI");
  ASSERT_EQ(boottest::RunTool(machine, {"restart", "--wait=120"}).exit_code, 0);
  EXPECT_EQ(machine.ReadFile("WINDOWS/SYSTEM.INI"), changed);
  const std::string second = boottest::BootLog();
  EXPECT_EQ(second.find("trestore"), std::string::npos) << second;
  EXPECT_EQ(second.find("RunOnce Snapshot"), std::string::npos) << second;
  EXPECT_NE(second.find("Run TavrinQuillow"), std::string::npos) << second;
}

TEST(RestoreRoadTest, CopyLinesWhenTheQuickRestoreIsMissing) {
  w98::testing::TempMachine machine;
  PrepareRoad(machine);
  ASSERT_TRUE(DeleteFileA(Store("trestore.exe").c_str()));
  const auto run = boottest::RunTool(machine, {"restart", "--wait=120"});
  ASSERT_EQ(run.exit_code, 0) << run.output;
  const std::string log = boottest::BootLog();
  ExpectRestoredToSnapshotA(log);
  const std::string dos = DosPart(log);
  EXPECT_EQ(dos.find("trestore"), std::string::npos) << log;
  EXPECT_EQ(boottest::Count(dos, "DOS>         1 file(s) copied"), 4u) << log;
  EXPECT_FALSE(std::filesystem::exists(w98::HostPathOf(Store("trestore.log"))));
}

TEST(RestoreRoadTest, CopyLinesWhenTheQuickRestoreFailsWithCode2) {
  w98::testing::TempMachine machine;
  PrepareRoad(machine);
  // The quick restore's first copy cannot read its stored copy: trestore ends with 2.
  ASSERT_TRUE(w98::FailNthCopy(1, ERROR_READ_FAULT));
  const auto run = boottest::RunTool(machine, {"restart", "--wait=120"});
  w98::ClearFaults();
  ASSERT_EQ(run.exit_code, 0) << run.output;
  const std::string log = boottest::BootLog();
  ExpectRestoredToSnapshotA(log);
  const std::string dos = DosPart(log);
  EXPECT_EQ(InOrder(dos, {"DOS> trestore: Not restored C:\\WINDOWS\\SYSTEM.INI",
                          "DOS> trestore: 4 of 5 files restored", "DOS>         1 file(s) copied"}),
            "");
  EXPECT_EQ(boottest::Count(dos, "DOS>         1 file(s) copied"), 4u) << log;
  const std::string trestore_log = dostest::ReadHostFile(w98::HostPathOf(Store("trestore.log")));
  EXPECT_NE(trestore_log.find("Read Errors: 1\r\n"), std::string::npos) << trestore_log;
}

}  // namespace
