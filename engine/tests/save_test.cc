// Saving: what a save records, shares, copies and logs, on fresh machines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include <w98/faults.h>

#include "engine_testing.h"

namespace snapshot::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Three files, one kernel file in the root, one in the Windows folder, one long-named.
class SaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.PutFile("AUTOEXEC.BAT", "@ECHO OFF\r\n");
    machine_.PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\n");
    machine_.PutFile("WINDOWS/Shell Settings.dat", "settings\r\n");
    machine_.Provision({{"C:\\AUTOEXEC.BAT"}, {"\\SYSTEM.INI", "\\Shell Settings.dat"}});
    ASSERT_EQ(SS_OK, machine_.Init());
  }

  // The key of a file as the save derives it.
  std::string KeyOf(const std::string& kernel_or_user, int index, const std::string& snapshot) {
    return Text(snapshot, kernel_or_user, "File" + std::to_string(index));
  }

  EngineMachine machine_;
};

TEST_F(SaveTest, RecordsEveryFileAndStoresEachVersionOnce) {
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01", "first"));

  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S01"));
  EXPECT_EQ(1, Int("19981115.S01", "KernelFileList", "FileCount"));
  EXPECT_EQ(2, Int("19981115.S01", "UserFileList", "FileCount"));
  // AUTOEXEC.BAT passes the 8.3 test but is always a user file.
  EXPECT_EQ(KeyOf("UserFileList", 0, "19981115.S01").rfind("AUTOEXEC.BAT|C://|11|", 0), 0u)
      << KeyOf("UserFileList", 0, "19981115.S01");
  const std::string system_ini = KeyOf("KernelFileList", 0, "19981115.S01");
  EXPECT_EQ(system_ini.rfind("SYSTEM.INI|C://WINDOWS//|8|1998111", 0), 0u) << system_ini;

  EXPECT_THAT(References(system_ini), ElementsAre("19981115.S01"));
  EXPECT_EQ("C:\\WINDOWS\\", Text("cref.tab", system_ini, "OriginalPath"));
  EXPECT_EQ("SYSTEM.INI", Text("cref.tab", system_ini, "OriginalFileName"));
  EXPECT_EQ("c:\\windows\\zemo\\snapshot\\backup\\", Text("cref.tab", system_ini, "StorePath"));
  EXPECT_EQ("c:\\windows\\zemo\\snapshot\\backup", Text("cref.tab", system_ini, "StoreDir"));
  EXPECT_EQ("", Text("cref.tab", system_ini, "Type"));
  EXPECT_EQ("8", Text("cref.tab", system_ini, "Size"));
  EXPECT_EQ(" +A  -S  -H  -R ", Text("cref.tab", system_ini, "Attrib"));
  EXPECT_EQ(3u, IndexKeys().size());
  EXPECT_EQ(3u, machine_.StoredCopies().size());
  EXPECT_EQ(3, Int("snapshot.ini", "Misc", "AliasSequentialNumber"));

  // The stored copies are read-only and hidden, in a read-only hidden folder.
  const std::string copy = std::string(kStore) + "backup\\" + Text("cref.tab", system_ini, "Alias");
  EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            GetFileAttributesA(copy.c_str()));
  EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            GetFileAttributesA((std::string(kStore) + "backup").c_str()));

  // The marks are cleared and the catalogue is consistent.
  EXPECT_EQ(0, Int("snapshot.ini", "LastOp", "DoSave"));
  EXPECT_EQ("<missing>", Text("snapshot.ini", "LastOp", "saveimage"));
  EXPECT_EQ("first", Text("19981115.S01", "Misc", "Comments"));
  EXPECT_EQ("19981115.S01", Text("19981115.S01", "Misc", "ImageName"));
  EXPECT_EQ(SS_OK, machine_.Init());
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(SaveTest, AnUnchangedSaveSharesEveryVersionAndCopiesNothing) {
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
  const std::vector<std::string> copies = machine_.StoredCopies();
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));

  EXPECT_EQ("", machine_.StoreFile("backup.log"));
  EXPECT_EQ(copies, machine_.StoredCopies());
  EXPECT_EQ(3u, IndexKeys().size());
  for (const std::string& key : IndexKeys())
    EXPECT_THAT(References(key), ElementsAre("19981115.S01", "19981115.S02")) << key;
  // The second snapshot's batch lines name the first one's stored copies.
  const std::string first = machine_.StoreFile("batch/19981115.W01");
  const std::string second = machine_.StoreFile("batch/19981115.W02");
  EXPECT_EQ(first, second);

  // A changed file gets a new version; the old one stays with the two earlier snapshots.
  const std::string old_key = KeyOf("KernelFileList", 0, "19981115.S01");
  machine_.PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\nnew\r\n", FILE_ATTRIBUTE_ARCHIVE,
                   kNovember1998 + 3600);
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S03"));
  const std::string new_key = KeyOf("KernelFileList", 0, "19981115.S03");
  EXPECT_NE(old_key, new_key);
  EXPECT_THAT(References(new_key), ElementsAre("19981115.S03"));
  EXPECT_THAT(References(old_key), ElementsAre("19981115.S01", "19981115.S02"));
  EXPECT_EQ("REM SOURCE=C:\\WINDOWS\\SYSTEM.INI  DestDir = c:\\windows\\zemo\\snapshot\\backup\r\n",
            machine_.StoreFile("backup.log"));
  EXPECT_EQ(4u, machine_.StoredCopies().size());
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(SaveTest, SameSizeAndSecondKeepsTheKeyAndAMissingCopyIsStillShared) {
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
  const std::string key = KeyOf("KernelFileList", 0, "19981115.S01");
  // Rewritten with other bytes of the same size within the same second: the same version.
  machine_.PutFile("WINDOWS/SYSTEM.INI", "[BOOT]\r\n");
  // A stored copy removed by hand is not noticed: the version is shared, nothing is copied.
  std::filesystem::remove(
      machine_.OnC("WINDOWS/ZEMO/SNAPSHOT/backup/" + Text("cref.tab", key, "Alias")));
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));
  EXPECT_EQ(key, KeyOf("KernelFileList", 0, "19981115.S02"));
  EXPECT_THAT(References(key), ElementsAre("19981115.S01", "19981115.S02"));
  EXPECT_EQ("", machine_.StoreFile("backup.log"));
}

TEST_F(SaveTest, AliasesSkipStrayFilesAndTheCounterWraps) {
  // Stray files take the first two aliases; the counter is stored past the one used.
  machine_.WriteFile("WINDOWS/ZEMO/SNAPSHOT/backup/00000000.98b", "stray");
  machine_.WriteFile("WINDOWS/ZEMO/SNAPSHOT/backup/00000001.98B", "stray");
  machine_.Provision({{}, {"\\SYSTEM.INI"}});
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
  const std::string key = KeyOf("KernelFileList", 0, "19981115.S01");
  EXPECT_EQ("00000002.98b", Text("cref.tab", key, "Alias"));
  EXPECT_EQ(3, Int("snapshot.ini", "Misc", "AliasSequentialNumber"));

  // Number 99999 and a file of October 2001: 0001869F.01a, and the counter wraps to 0.
  quillow::catalogue::WriteInt("snapshot.ini", "Misc", "AliasSequentialNumber", 99999);
  machine_.PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\n2001\r\n", FILE_ATTRIBUTE_ARCHIVE,
                   1002888000);  // 2001-10-12 12:00 UTC
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));
  const std::string october = KeyOf("KernelFileList", 0, "19981115.S02");
  EXPECT_EQ("0001869F.01a", Text("cref.tab", october, "Alias"));
  EXPECT_EQ(0, Int("snapshot.ini", "Misc", "AliasSequentialNumber"));
}

TEST_F(SaveTest, SavingUnderAListedNameReplacesThatSnapshot) {
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));
  const std::string old_key = KeyOf("KernelFileList", 0, "19981115.S01");
  machine_.PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\nchanged\r\n", FILE_ATTRIBUTE_ARCHIVE,
                   kNovember1998 + 60);
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));

  // Listed once, now last; its old references are gone, the other snapshot keeps its own.
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S01", "19981115.S02"));
  EXPECT_THAT(References(old_key), ElementsAre("19981115.S01"));
  const std::string new_key = KeyOf("KernelFileList", 0, "19981115.S02");
  EXPECT_THAT(References(new_key), ElementsAre("19981115.S02"));
  EXPECT_EQ(1, Int("19981115.S02", "KernelFileList", "FileCount"));
  EXPECT_THAT(StoreProblems(), IsEmpty());

  // Replacing the only holder of a version removes that version and its stored copy.
  ASSERT_EQ(DWORD(SS_DELETE_DONE), machine_.Delete("19981115.S01"));
  const size_t copies = machine_.StoredCopies().size();
  machine_.PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\nagain\r\n", FILE_ATTRIBUTE_ARCHIVE,
                   kNovember1998 + 120);
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));
  EXPECT_EQ(-999, Int("cref.tab", new_key, "RefCount"));
  EXPECT_EQ(copies, machine_.StoredCopies().size());
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S02"));
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(SaveTest, ANameTooShortOrHoldingAPathFailsAndChangesNothing) {
  for (const std::string name : {"", "19981115", "19981115.", "..\\..\\x.S01", "a/b/c/d.S01"}) {
    EXPECT_EQ(DWORD(SS_SAVE_FAILED), machine_.Save(name)) << "name \"" << name << "\"";
    EXPECT_EQ(-999, Int("snapshot.ini", "LastOp", "DoSave")) << name;
    EXPECT_EQ(0, Int("snapshot.ini", "Misc", "NumofSSImage", 0)) << name;
  }
  EXPECT_EQ(DWORD(SS_DELETE_FAILED), machine_.Delete("short"));
  EXPECT_EQ(SS_OK, machine_.Init());
}

TEST_F(SaveTest, TheSchedulerSettingsFollowTheName) {
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S00"));
  const std::string scheduled_time = Text("19981115.S00", "Misc", "Time");
  EXPECT_EQ("19981115.S00", Setting("latestscheduless"));
  EXPECT_EQ("19981115.S00", Setting("latestss"));
  EXPECT_EQ(scheduled_time, Setting("latestschedulesstime"));
  EXPECT_EQ(scheduled_time, Setting("latestsstime"));

  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
  EXPECT_EQ("19981115.S01", Setting("latestss"));
  EXPECT_EQ(Text("19981115.S01", "Misc", "Time"), Setting("latestsstime"));
  EXPECT_EQ("19981115.S00", Setting("latestscheduless"));
}

}  // namespace
}  // namespace snapshot::testing

namespace snapshot::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class SaveFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\n");
    machine_.PutFile("WINDOWS/BIG.DLL", std::string(1 << 20, 'b'));
    machine_.PutFile("WINDOWS/WIN.INI", "[windows]\r\n");
    machine_.Provision({{}, {"\\SYSTEM.INI", "\\BIG.DLL", "\\WIN.INI"}});
    ASSERT_EQ(SS_OK, machine_.Init());
  }
  EngineMachine machine_;
};

TEST_F(SaveFaultTest, AFullDiskEndsTheSaveWith102) {
  // Room for the catalogue and the small files, not for the big one.
  machine_.LeaveRoom(256 * 1024);

  EXPECT_EQ(DWORD(SS_SAVE_DISK_FULL), machine_.Save("19981115.S01"));
  // The save ended at that copy: it is the last thing the log reports. (The files after it may
  // be listed already, their copies made or not, as copies are made beside the listing.)
  EXPECT_THAT(machine_.StoreFile("backup.log"),
              ::testing::EndsWith("COPY ERROR!! SOURCE=C:\\WINDOWS\\BIG.DLL  DestDir = "
                                  "c:\\windows\\zemo\\snapshot\\backup\r\n"));
  EXPECT_GE(Int("19981115.S01", "KernelFileList", "FileCount"), 2);
  // Marked as interrupted; the clean-up makes the store whole.
  EXPECT_EQ(SS_INTERRUPTED_SAVE, machine_.Init());
  EXPECT_EQ(SS_OK, RollBackSave());
  machine_.SetCapacity(0);
  EXPECT_EQ(DWORD(SS_DELETE_DONE), machine_.Delete("19981115.S01"));
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(SaveFaultTest, ACopyFailingWithRoomSkipsTheFile) {
  ASSERT_TRUE(w98::FailNthCopy(2));  // the second file's copy
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
  EXPECT_EQ(
      "REM SOURCE=C:\\WINDOWS\\SYSTEM.INI  DestDir = c:\\windows\\zemo\\snapshot\\backup\r\n"
      "COPY ERROR!! SOURCE=C:\\WINDOWS\\BIG.DLL  DestDir = c:\\windows\\zemo\\snapshot\\backup\r\n"
      "REM SOURCE=C:\\WINDOWS\\WIN.INI  DestDir = c:\\windows\\zemo\\snapshot\\backup\r\n",
      machine_.StoreFile("backup.log"));
  // Listed in the snapshot, without a stored version.
  EXPECT_EQ(3, Int("19981115.S01", "KernelFileList", "FileCount"));
  const std::string big = Text("19981115.S01", "KernelFileList", "File1");
  EXPECT_EQ(-999, Int("cref.tab", big, "RefCount"));
  EXPECT_EQ(2u, IndexKeys().size());
  EXPECT_EQ(2u, machine_.StoredCopies().size());
  EXPECT_EQ(machine_.StoreFile("batch/19981115.B01").find("BIG.DLL"), std::string::npos);
  std::vector<SSFileRecord> files(3);
  ASSERT_EQ(3, GetSSImgInfo(files.data(), "19981115.S01"));
  EXPECT_STREQ("", files[1].alias);
  EXPECT_EQ(SS_OK, machine_.Init());
  EXPECT_THAT(StoreProblems(), IsEmpty());

  // The next save stores it.
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));
  EXPECT_THAT(References(big), ElementsAre("19981115.S02"));
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(SaveFaultTest, AFileMatchedTwiceIsStoredAgainWhenItsFirstCopyFails) {
  // SYSTEM.INI is provisioned twice; the copy made for its first match fails with room left.
  machine_.Provision({{}, {"\\SYSTEM.INI", "\\SYSTEM.INI"}});
  ASSERT_EQ(SS_OK, machine_.Init());
  ASSERT_TRUE(w98::FailNthCopy(1));
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
  EXPECT_EQ(
      "COPY ERROR!! SOURCE=C:\\WINDOWS\\SYSTEM.INI  DestDir = "
      "c:\\windows\\zemo\\snapshot\\backup\r\n"
      "REM SOURCE=C:\\WINDOWS\\SYSTEM.INI  DestDir = c:\\windows\\zemo\\snapshot\\backup\r\n",
      machine_.StoreFile("backup.log"));
  // The second match stored it: one reference, one copy, both named by the entry.
  const std::string key = Text("19981115.S01", "KernelFileList", "File1");
  EXPECT_THAT(References(key), ElementsAre("19981115.S01"));
  EXPECT_EQ(1u, machine_.StoredCopies().size());
  EXPECT_EQ(SS_OK, machine_.Init());
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST(SaveManyFilesTest, AliasesSkipStrayFilesFoundEarlyOrLate) {
  // Enough new versions that the save stops looking names up one by one and reads the copy
  // folder instead; stray files lie on either side of that point, two spelt in other cases.
  EngineMachine machine;
  constexpr int kFiles = 150;
  for (int i = 0; i < kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "WINDOWS/MANY/F%03d.DLL", i);
    machine.PutFile(name, "version " + std::to_string(i));
  }
  const std::vector<std::string> strays = {"00000003.98b", "00000050.98B", "0000005a.98b"};
  for (const std::string& stray : strays)
    machine.WriteFile("WINDOWS/ZEMO/SNAPSHOT/backup/" + stray, "stray " + stray);
  machine.Provision({{}, {"\\MANY\\*.*"}});
  ASSERT_EQ(SS_OK, machine.Init());
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine.Save("19981115.S01"));

  std::set<std::string> aliases;
  for (int i = 0; i < kFiles; ++i) {
    const std::string key = Text("19981115.S01", "KernelFileList", "File" + std::to_string(i));
    const std::string alias = Text("cref.tab", key, "Alias");
    EXPECT_TRUE(aliases.insert(alias).second) << alias << " given twice";
    // F012.DLL holds "version 12".
    const std::string number = std::to_string(std::stoi(key.substr(1, 3)));
    EXPECT_EQ("version " + number, machine.ReadFile("WINDOWS/ZEMO/SNAPSHOT/backup/" + alias));
  }
  for (const char* taken : {"00000003.98b", "00000050.98b", "0000005A.98b"})
    EXPECT_EQ(0u, aliases.count(taken)) << taken;
  for (const std::string& stray : strays)
    EXPECT_EQ("stray " + stray, machine.ReadFile("WINDOWS/ZEMO/SNAPSHOT/backup/" + stray));
  // 150 aliases and the three skipped: the counter stands past number 152.
  EXPECT_EQ(kFiles + 3, Int("snapshot.ini", "Misc", "AliasSequentialNumber"));
}

// Enough large files that the copier falls behind and the save makes some of the copies itself.
// Whichever thread made a copy, the files are settled in their order, and the one copy that
// fails skips just its file.
TEST(SaveManyFilesTest, CopiesMadeByEitherThreadAreSettledInFileOrder) {
  EngineMachine machine;
  constexpr int kFiles = 120;
  const std::string bytes(256 * 1024, 'x');
  for (int i = 0; i < kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "WINDOWS/MANY/F%03d.DLL", i);
    machine.PutFile(name, bytes + std::to_string(i));
  }
  machine.Provision({{}, {"\\MANY\\*.*"}});
  ASSERT_EQ(SS_OK, machine.Init());
  ASSERT_TRUE(w98::FailNthCopy(kFiles / 2));
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine.Save("19981115.S01"));

  // The log names the files in the order of the snapshot's list, one failed copy among them.
  ASSERT_EQ(kFiles, Int("19981115.S01", "KernelFileList", "FileCount"));
  std::vector<std::string> listed;
  for (int i = 0; i < kFiles; ++i) {
    const std::string key = Text("19981115.S01", "KernelFileList", "File" + std::to_string(i));
    listed.push_back(key.substr(0, key.find('|')));
  }
  std::vector<std::string> logged;
  std::string failed;
  const std::string log = machine.StoreFile("backup.log");
  for (size_t at = 0; at < log.size();) {
    const size_t end = log.find("\r\n", at);
    const std::string line = log.substr(at, end - at);
    at = end + 2;
    const size_t name = line.find("\\MANY\\") + 6;
    logged.push_back(line.substr(name, line.find("  DestDir") - name));
    if (line.rfind("COPY ERROR!!", 0) == 0) failed = listed[logged.size() - 1];
  }
  EXPECT_EQ(logged, listed);
  ASSERT_FALSE(failed.empty());
  EXPECT_EQ(1u, static_cast<size_t>(std::count(log.begin(), log.end(), '!')) / 2);
  EXPECT_EQ(static_cast<size_t>(kFiles - 1), IndexKeys().size());
  EXPECT_EQ(static_cast<size_t>(kFiles - 1), machine.StoredCopies().size());
  EXPECT_EQ(SS_OK, machine.Init());
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

}  // namespace
}  // namespace snapshot::testing
