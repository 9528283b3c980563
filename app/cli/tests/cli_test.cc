// The quillow program end to end on a throw-away machine, and the pieces it is made of.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "catalogue_access.h"
#include "default_patterns.h"
#include "installation.h"
#include "output.h"
#include "snapshot_naming.h"
#include "store_check.h"
#include "temp_machine.h"
#include "w98/session.h"
#include "w98/w98.h"
#include "w98/windows.h"

namespace quillow {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Outcome {
  int exit_code;
  std::string out;
};

// Runs the quillow program of this build on `machine`; stderr goes to the test's log.
Outcome Quillow(const w98::testing::TempMachine& machine, const std::string& arguments) {
  const std::string command = (w98::testing::BuildBinFolder() / "quillow").string() +
                              " --machine '" + machine.Root().string() + "' " + arguments;
  Outcome run{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
  const int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(QuillowProgram, InstallSaveListFilesStoredCheck) {
  w98::testing::TempMachine machine;
  machine.WriteFile("WINDOWS/SYSTEM.INI", "[boot]\r\n");
  machine.WriteFile("WINDOWS/Long Name.txt", "long\r\n");
  machine.WriteFile("patterns.txt",
                    "# two files\r\n\\SYSTEM.INI\r\n\\Long Name.txt\r\nC:\\NONE.SYS\r\n");
  const std::string patterns = machine.OnC("patterns.txt").string();

  Outcome install = Quillow(machine, "--json install --patterns '" + patterns + "'");
  ASSERT_EQ(0, install.exit_code);
  EXPECT_THAT(install.out,
              HasSubstr("\"windowsPatterns\":[\"\\\\SYSTEM.INI\",\"\\\\Long Name.txt\"]"));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES,
            GetFileAttributesA("c:\\windows\\zemo\\snapshot\\sswizard.ini"));

  Outcome save = Quillow(machine, "--json save 19981115.S01 --comment 'first one'");
  ASSERT_EQ(0, save.exit_code) << save.out;
  EXPECT_THAT(save.out,
              HasSubstr("\"files\":2,\"kernelFiles\":1,\"userFiles\":1,\"newVersions\":2"));
  // The default name: today's stamp and the next number of the day.
  Outcome second = Quillow(machine, "--json save");
  ASSERT_EQ(0, second.exit_code);
  EXPECT_THAT(second.out, HasSubstr(".S01\""));
  EXPECT_THAT(second.out, HasSubstr("\"newVersions\":0"));

  Outcome list = Quillow(machine, "list");
  ASSERT_EQ(0, list.exit_code);
  EXPECT_THAT(list.out, HasSubstr("19981115.S01"));
  EXPECT_THAT(list.out, HasSubstr("first one"));
  EXPECT_THAT(list.out, HasSubstr("2 snapshots."));

  Outcome files = Quillow(machine, "--json files 19981115.S01");
  ASSERT_EQ(0, files.exit_code);
  EXPECT_THAT(files.out, HasSubstr("\"path\":\"C:\\\\WINDOWS\\\\SYSTEM.INI\",\"kind\":\"kernel\""));
  EXPECT_THAT(files.out,
              HasSubstr("\"path\":\"C:\\\\WINDOWS\\\\Long Name.txt\",\"kind\":\"user\""));

  Outcome stored = Quillow(machine, "stored SYSTEM.INI");
  ASSERT_EQ(0, stored.exit_code);
  EXPECT_THAT(stored.out, HasSubstr("1 stored version"));

  Outcome check = Quillow(machine, "check");
  EXPECT_EQ(0, check.exit_code) << check.out;
  EXPECT_THAT(check.out, HasSubstr("The store is consistent."));

  // A stored copy gone: check says which invariant fails and exits non-zero.
  const std::filesystem::path backup = w98::HostPathOf("c:\\windows\\zemo\\snapshot\\backup");
  for (const auto& entry : std::filesystem::directory_iterator(backup)) {
    std::filesystem::remove(entry.path());
    break;
  }
  Outcome broken = Quillow(machine, "--json check");
  EXPECT_EQ(1, broken.exit_code);
  EXPECT_THAT(broken.out, HasSubstr("is missing"));
  EXPECT_THAT(broken.out, HasSubstr("\"ok\":false"));
}

TEST(QuillowProgram, ErrorsGoToStderrWithANonZeroExit) {
  w98::testing::TempMachine machine;
  EXPECT_EQ(2, Quillow(machine, "frobnicate 2>/dev/null").exit_code);
  Outcome install = Quillow(machine, "install");
  ASSERT_EQ(0, install.exit_code);
  Outcome files = Quillow(machine, "files 19981115.S09 2>/dev/null");
  EXPECT_NE(0, files.exit_code);
  EXPECT_EQ("", files.out);
  EXPECT_EQ(2, Quillow(machine, "save short 2>/dev/null").exit_code);
}

// A settings value of the installation's sswizard.ini ("<missing>" when absent).
std::string Setting(const std::string& key) {
  char buffer[256];
  GetPrivateProfileStringA("snapshot", key.c_str(), "<missing>", buffer, sizeof buffer,
                           "c:\\windows\\zemo\\snapshot\\sswizard.ini");
  return buffer;
}

// A host file's content ("" when missing).
std::string HostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A file of the machine by its DOS path, read on the host ("" when missing).
std::string DosFile(const std::string& path) {
  return HostFile(w98::HostPathOf(path));
}

TEST(QuillowProgram, RestoreStagesTheRestoreAndRecordsItAsTheMainProgramDoes) {
  w98::testing::TempMachine machine;
  machine.WriteFile("AUTOEXEC.BAT", "@ECHO OFF\r\n");
  machine.WriteFile("WINDOWS/SYSTEM.INI", "[boot]\r\n");
  machine.WriteFile("patterns.txt", "C:\\AUTOEXEC.BAT\r\n\\SYSTEM.INI\r\n");
  ASSERT_EQ(0, Quillow(machine, "install --patterns '" + machine.OnC("patterns.txt").string() + "'")
                   .exit_code);
  ASSERT_EQ(0, Quillow(machine, "save 19981115.S01").exit_code);

  // Wrong use is refused before anything is staged.
  EXPECT_EQ(2, Quillow(machine, "restore 19981115.S01 --mode 3 2>/dev/null").exit_code);
  EXPECT_EQ(2, Quillow(machine, "restore 2>/dev/null").exit_code);
  const Outcome unknown = Quillow(machine, "restore 19981115.S07 2>/dev/null");
  EXPECT_EQ(1, unknown.exit_code);
  EXPECT_EQ("", unknown.out);
  EXPECT_EQ("0", Setting("restoress"));
  EXPECT_EQ("@ECHO OFF\r\n", machine.ReadFile("AUTOEXEC.BAT"));

  const Outcome restore = Quillow(machine, "--json restore 19981115.S01 --mode 2");
  ASSERT_EQ(0, restore.exit_code);
  EXPECT_EQ(
      "{\"name\":\"19981115.S01\",\"status\":0,\"mode\":2,\"switch\":\"/QL\","
      "\"restarting\":false}\n",
      restore.out);
  EXPECT_EQ("1", Setting("restoress"));
  EXPECT_EQ("19981115.S01", Setting("restoreimage"));
  EXPECT_EQ("1", Setting("restart"));
  EXPECT_EQ("1", Setting("DoRestore"));
  EXPECT_THAT(machine.ReadFile("AUTOEXEC.BAT"), HasSubstr("CALL COMMAND /C"));
  EXPECT_THAT(DosFile("c:\\windows\\zemo\\snapshot\\REGWIN.INI"), HasSubstr("qlreboot.exe /QL"));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("c:\\windows\\temp\\RPN.pif"));

  // Until the restart has run the restore, no command starts the engine, whose Init would put
  // the catalogue back too early.
  const Outcome early = Quillow(machine, "list 2>/dev/null");
  EXPECT_EQ(1, early.exit_code);
  EXPECT_EQ("", early.out);
  EXPECT_EQ("1", Setting("DoRestore"));
}

TEST(QuillowProgram, RestoreWithRestartRestartsTheMachineThroughTheRestore) {
  w98::testing::TempMachine machine;
  machine.WriteFile("WINDOWS/SYSTEM.INI", "[boot]\r\nshell=Explorer.exe\r\n");
  machine.WriteFile("patterns.txt", "\\SYSTEM.INI\r\n");
  ASSERT_EQ(0, Quillow(machine, "install --patterns '" + machine.OnC("patterns.txt").string() + "'")
                   .exit_code);
  ASSERT_EQ(0, Quillow(machine, "save 19981115.S01").exit_code);
  machine.WriteFile("WINDOWS/SYSTEM.INI", "[boot]\r\nshell=Other.exe\r\n");

  const Outcome restore = Quillow(machine, "restore 19981115.S01 --restart");
  ASSERT_EQ(0, restore.exit_code);
  EXPECT_THAT(restore.out, HasSubstr("The machine is restarting"));
  // The restart runs detached from the program: wait for its end in the boot log.
  std::string log;
  for (int i = 0; i < 600 && log.find("restart done") == std::string::npos; ++i) {
    Sleep(200);
    log = HostFile(w98::BootLogFile());
  }
  ASSERT_NE(std::string::npos, log.find("restart done")) << log;
  EXPECT_EQ("[boot]\r\nshell=Explorer.exe\r\n", machine.ReadFile("WINDOWS/SYSTEM.INI")) << log;
  for (const char* marker : {"rb.suc", "rw.suc"})
    EXPECT_NE(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesA((std::string("c:\\windows\\zemo\\snapshot\\") + marker).c_str()))
        << marker << "\n"
        << log;
  // After the restart the engine starts again and puts the catalogue back.
  const Outcome list = Quillow(machine, "list");
  EXPECT_EQ(0, list.exit_code);
  EXPECT_THAT(list.out, HasSubstr("19981115.S01"));
  EXPECT_EQ("0", Setting("DoRestore"));
}

TEST(QuillowProgram, RestoreFileAddsToTheSessionAndClosesIt) {
  w98::testing::TempMachine machine;
  machine.WriteFile("WINDOWS/SYSTEM.INI", "[boot]\r\n");
  machine.WriteFile("WINDOWS/Long Name.txt", "long\r\n");
  machine.WriteFile("patterns.txt", "\\SYSTEM.INI\r\n\\Long Name.txt\r\n");
  ASSERT_EQ(0, Quillow(machine, "install --patterns '" + machine.OnC("patterns.txt").string() + "'")
                   .exit_code);
  ASSERT_EQ(0, Quillow(machine, "save 19981115.S01").exit_code);

  const Outcome add = Quillow(machine, "--json restore-file 19981115.S01 SYSTEM.INI");
  ASSERT_EQ(0, add.exit_code);
  EXPECT_THAT(add.out, HasSubstr("\"added\":true,\"path\":\"C:\\\\WINDOWS\\\\SYSTEM.INI\""));
  EXPECT_THAT(add.out, HasSubstr("\"closed\":false"));
  EXPECT_THAT(DosFile("c:\\windows\\zemo\\snapshot\\_rfbob.sav"), HasSubstr("SYSTEM.INI"));
  EXPECT_EQ("", DosFile("c:\\windows\\temp\\rb.bat"));

  const Outcome none = Quillow(machine, "restore-file 19981115.S01 NOTHERE.INI");
  ASSERT_EQ(0, none.exit_code);
  EXPECT_THAT(none.out, HasSubstr("holds no stored file named NOTHERE.INI"));

  const Outcome close =
      Quillow(machine, "--json restore-file 19981115.S01 'Long Name.txt' --close --mode 0");
  ASSERT_EQ(0, close.exit_code);
  EXPECT_THAT(close.out, HasSubstr("\"closed\":true,\"switch\":\"/QH\""));
  EXPECT_EQ("1", Setting("DoRestore"));
  EXPECT_EQ("0", Setting("restoress")) << "single-file sessions leave no result to check";
  EXPECT_EQ(DosFile("c:\\windows\\zemo\\snapshot\\_rfbow.sav"),
            DosFile("c:\\windows\\temp\\rw.bat"));
  EXPECT_THAT(DosFile("c:\\windows\\temp\\rw.bat"), HasSubstr("Long Name.txt"));
  EXPECT_EQ(2, Quillow(machine, "restore-file 19981115.S01 2>/dev/null").exit_code);
}

TEST(StoreCheck, EachInvariantNamesWhatBreaksIt) {
  w98::testing::TempMachine machine;
  BackupPatterns none;
  ASSERT_TRUE(ProvisionPatterns(none));
  namespace c = catalogue;
  // A catalogue broken in one way per invariant.
  c::WriteText("snapshot.ini", "Misc", "ControlFile1", "19981115.S01");
  c::WriteText("snapshot.ini", "Misc", "ControlFile2", "19981115.S01");
  c::WriteInt("snapshot.ini", "Misc", "NumofSSImage", 3);  // the third is missing
  c::WriteInt("19981115.S01", "Misc", "Valid", 0);
  c::WriteText("19981115.S01", "KernelFileList", "File0", "A.INI|C://|1|19981115|120000");
  c::WriteInt("19981115.S01", "KernelFileList", "FileCount", 1);
  c::WriteText("cref.tab", "Index", "Key1", "A.INI|C://|1|19981115|120000");
  c::WriteInt("cref.tab", "Index", "IndexCount", 1);
  c::WriteText("cref.tab", "A.INI|C://|1|19981115|120000", "RefControlFile1", "19981101.S07");
  c::WriteInt("cref.tab", "A.INI|C://|1|19981115|120000", "RefCount", 1);
  c::WriteText("cref.tab", "A.INI|C://|1|19981115|120000", "StorePath",
               "c:\\windows\\zemo\\snapshot\\backup\\");
  c::WriteText("cref.tab", "A.INI|C://|1|19981115|120000", "Alias", "00000000.98b");
  machine.WriteFile("WINDOWS/ZEMO/SNAPSHOT/backup/00000009.98b", "stray");

  std::map<std::string, std::vector<std::string>> problems;
  for (const InvariantResult& r : CheckStore("c:\\windows\\zemo\\snapshot\\"))
    problems[r.name] = r.problems;
  EXPECT_THAT(problems["marks"], ::testing::Contains(HasSubstr("newest snapshot")));
  EXPECT_THAT(problems["snapshot list"],
              ::testing::UnorderedElementsAre(HasSubstr("listed more than once"),
                                              HasSubstr("ControlFile3 is missing"),
                                              HasSubstr("19981115.S01 is incomplete"),
                                              HasSubstr("19981115.S01 is incomplete")));
  EXPECT_THAT(problems["snapshot files"], IsEmpty());
  EXPECT_THAT(problems["reference counts"], ::testing::ElementsAre(HasSubstr("not listed")));
  EXPECT_THAT(problems["stored copies"], ::testing::ElementsAre(HasSubstr("is missing")));
  EXPECT_THAT(problems["unreferenced copies"],
              ::testing::ElementsAre(HasSubstr("00000009.98b is referenced by nothing")));
}

TEST(CommandPieces, NamesPatternsAndJson) {
  std::vector<SnapshotInfo> snapshots = {{"20240131.S00", "", "", "", "", 1, 0, 0},
                                         {"20240131.S01", "", "", "", "", 1, 0, 0},
                                         {"20240131.s0a", "", "", "", "", 1, 0, 0},
                                         {"20240131.S0F", "", "", "", "", 0, 0, 0},  // invalid
                                         {"20240130.S3C", "", "", "", "", 1, 0, 0},
                                         {"20240131.SXX", "", "", "", "", 1, 0, 0}};
  EXPECT_EQ("0B", NextSnapshotNumber(snapshots, "20240131"));
  snapshots[3].valid = 1;
  EXPECT_EQ("10", NextSnapshotNumber(snapshots, "20240131"));
  EXPECT_EQ("01", NextSnapshotNumber({}, "20240131"));

  BackupPatterns patterns;
  std::string error;
  EXPECT_TRUE(
      ParsePatterns("; comment\n\n  C:\\AUTOEXEC.BAT  \r\n\\SYSTEM\\*.DLL\n", &patterns, &error));
  EXPECT_EQ(std::vector<std::string>{"C:\\AUTOEXEC.BAT"}, patterns.root);
  EXPECT_EQ(std::vector<std::string>{"\\SYSTEM\\*.DLL"}, patterns.windows);
  EXPECT_FALSE(ParsePatterns("SYSTEM.INI\n", &patterns, &error));
  EXPECT_THAT(error, HasSubstr("line 1"));

  Json json;
  json.BeginObject().Field("a", "q\"\\\n\x01\xe9").Key("b").BeginArray().Number(1).Bool(false);
  json.EndArray().EndObject();
  EXPECT_EQ("{\"a\":\"q\\\"\\\\\\n\\u0001\\u00e9\",\"b\":[1,false]}", json.text());
  EXPECT_EQ("1998-11-15", PeopleDate("19981115"));
  EXPECT_EQ("12:34:56", PeopleTime("123456"));
  EXPECT_EQ("1,234,567", Grouped(1234567));
}

// An installed machine with the snapshots taken in order; WIN.INI changes before each one, so
// each holds one version of its own and shares SYSTEM.INI.
void InstallAndSave(const w98::testing::TempMachine& machine,
                    const std::vector<std::string>& names) {
  machine.WriteFile("WINDOWS/SYSTEM.INI", "[boot]\r\n");
  machine.WriteFile("patterns.txt", "\\SYSTEM.INI\r\n\\WIN.INI\r\n");
  ASSERT_EQ(0, Quillow(machine, "install --patterns '" + machine.OnC("patterns.txt").string() + "'")
                   .exit_code);
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    // A size of its own: a version is known by name, folder, size and time to the second.
    machine.WriteFile("WINDOWS/WIN.INI", "[windows]\r\n" + std::string(i + 1, ';') + "\r\n");
    ASSERT_EQ(0, Quillow(machine, "save " + name).exit_code) << name;
  }
}

std::vector<std::string> Listed() {
  return catalogue::ReadList("snapshot.ini", "Misc", "NumofSSImage", "ControlFile", 1);
}

bool SetClock(int year, int month, int day) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(month);
  time.wDay = static_cast<WORD>(day);
  time.wHour = 12;
  return SetLocalTime(&time) != FALSE;
}

// Exports a key of the catalogue with the machine's registry editor, as the engine's workers do
// before they change it.
bool Export(const std::string& file, const std::string& key) {
  return w98::testing::RunHidden("regedit.exe",
                                 "/E c:\\windows\\zemo\\snapshot\\" + file +
                                     "   HKEY_CURRENT_USER\\Software\\Zemo\\Snapshot" + key);
}

TEST(QuillowProgram, DeleteTakesOutOneSnapshotAndItsOwnVersions) {
  w98::testing::TempMachine machine;
  InstallAndSave(machine, {"19981115.S01", "19981115.S02", "19981115.S03"});

  const Outcome unknown = Quillow(machine, "delete 19981115.S09 2>/dev/null");
  EXPECT_EQ(1, unknown.exit_code);
  EXPECT_EQ("", unknown.out);
  EXPECT_EQ(2, Quillow(machine, "delete 2>/dev/null").exit_code);

  const Outcome middle = Quillow(machine, "--json delete 19981115.S02");
  ASSERT_EQ(0, middle.exit_code);
  EXPECT_THAT(middle.out, HasSubstr("\"name\":\"19981115.S02\",\"status\":200,"
                                    "\"removedVersions\":1,\"snapshotsLeft\":2"));
  EXPECT_EQ((std::vector<std::string>{"19981115.S01", "19981115.S03"}), Listed());
  const Outcome last = Quillow(machine, "delete 19981115.S03");
  ASSERT_EQ(0, last.exit_code);
  EXPECT_THAT(last.out, HasSubstr("Deleted 19981115.S03: 1 stored version removed, 1 snapshot"));
  EXPECT_EQ("19981115.S01", Setting("latestss"));
  EXPECT_EQ(0, Quillow(machine, "check").exit_code);
}

TEST(QuillowProgram, FixdatesPrintsTheNewNamesAndKeepsTheSettingsInStep) {
  w98::testing::TempMachine machine;
  ASSERT_TRUE(SetClock(1998, 11, 30));
  InstallAndSave(machine, {"19981125.S01", "19981127.S00"});
  WritePrivateProfileStringA("snapshot", "daily", "19981127|19981126",
                             "c:\\windows\\zemo\\snapshot\\sswizard.ini");

  // Nothing is dated after a day before 30 November.
  const Outcome nothing = Quillow(machine, "--json fixdates 3");
  ASSERT_EQ(0, nothing.exit_code);
  EXPECT_EQ("{\"status\":303,\"days\":3,\"renamed\":[]}\n", nothing.out);
  EXPECT_EQ(2, Quillow(machine, "fixdates soon 2>/dev/null").exit_code);

  ASSERT_TRUE(SetClock(1998, 11, 20));
  const Outcome fixed = Quillow(machine, "fixdates");
  ASSERT_EQ(0, fixed.exit_code);
  EXPECT_EQ("19981125.S01 -> 19981117.S01\n19981127.S00 -> 19981119.S00\nRe-dated 2 snapshots.\n",
            fixed.out);
  EXPECT_EQ((std::vector<std::string>{"19981117.S01", "19981119.S00"}), Listed());
  EXPECT_EQ("19981119.S00", Setting("latestss"));
  EXPECT_EQ("19981119.S00", Setting("latestscheduless"));
  EXPECT_EQ("19981119|19981126", Setting("daily"));
  EXPECT_EQ(0, Quillow(machine, "check").exit_code);
}

TEST(QuillowProgram, RollbackFinishesEachInterruptedOperation) {
  namespace c = catalogue;
  struct Case {
    const char* what;
    std::function<void()> interrupt;
    int exit_code;
    const char* operation;
    std::vector<std::string> listed;
  };
  const Case cases[] = {
      {"nothing interrupted", [] {}, 0, "none", {"19981115.S01", "19981115.S02"}},
      {"a delete",
       [] {
         // Stopped right after it marked the catalogue.
         Export("snapshot.sav", "\\snapshot.ini");
         Export("cref.sav", "\\cref.tab");
         c::WriteInt("snapshot.ini", "LastOp", "DoDelete", 1);
         c::WriteText("snapshot.ini", "LastOp", "deleteimage", "19981115.S02");
         c::WriteInt("snapshot.ini", "Misc", "Valid", 0);
         c::WriteInt("cref.tab", "Misc", "Valid", 0);
       },
       0,
       "DELETE",
       {"19981115.S01"}},
      {"a save",
       [] {
         c::WriteInt("snapshot.ini", "LastOp", "DoSave", 1);
         c::WriteText("snapshot.ini", "LastOp", "saveimage", "19981115.S02");
         c::WriteInt("19981115.S02", "Misc", "Valid", 0);
         c::WriteInt("snapshot.ini", "Misc", "Valid", 0);
       },
       0,
       "SAVE",
       {"19981115.S01"}},
      {"a date fixing",
       [] {
         Export("fixall.sav", "");
         c::WriteInt("snapshot.ini", "LastOp", "DoFixDates", 1);
         c::WriteInt("snapshot.ini", "Misc", "Valid", 0);
         c::WriteText("snapshot.ini", "Misc", "ControlFile2", "_19981101.S02");
       },
       0,
       "FIXDATE",
       {"19981115.S01", "19981115.S02"}},
      {"a damaged catalogue",
       [] { c::WriteInt("cref.tab", "Misc", "Valid", 0); },
       1,
       nullptr,
       {"19981115.S01", "19981115.S02"}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    w98::testing::TempMachine machine;
    InstallAndSave(machine, {"19981115.S01", "19981115.S02"});
    test.interrupt();
    ASSERT_TRUE(catalogue::Flush());
    const Outcome run = Quillow(machine, "--json rollback 2>/dev/null");
    EXPECT_EQ(test.exit_code, run.exit_code);
    if (test.operation != nullptr) {
      EXPECT_THAT(run.out, HasSubstr(std::string("\"operation\":\"") + test.operation + "\""));
      EXPECT_THAT(run.out, HasSubstr("\"status\":0}"));
      EXPECT_EQ(0, Quillow(machine, "check").exit_code);
    } else {
      EXPECT_EQ("", run.out);
    }
    EXPECT_EQ(test.listed, Listed());
  }
}

}  // namespace
}  // namespace quillow
