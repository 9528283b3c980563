// The consistency check, the roll-backs, and the catalogue's return after a restore.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "engine_testing.h"

namespace snapshot::testing {
namespace {

namespace c = quillow::catalogue;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ConsistencyCheck, MarksGiveTheInterruptedOperation) {
  EngineMachine machine;
  ASSERT_EQ(SS_OK, machine.Init());
  constexpr int kNone = -1;
  struct Row {
    int references_valid, master_valid, last_valid;  // kNone: value absent / no snapshot
    int do_save, do_delete, do_fix_dates;
    LONG expected;
  };
  const Row rows[] = {
      {1, 1, kNone, 0, 0, 0, SS_OK},
      {1, 1, 1, 0, 0, 0, SS_OK},
      {1, 1, 1, 1, 1, 1, SS_OK},  // a flag while everything is valid is reported consistent
      {1, 0, 1, 1, 1, 0, SS_INTERRUPTED_SAVE},
      {0, 1, 1, 0, 1, 1, SS_INTERRUPTED_DELETE},
      {1, 1, 0, 0, 0, 1, SS_INTERRUPTED_FIXDATES},
      {1, 1, 0, 0, 0, 0, SS_CATALOGUE_DAMAGED},
      {kNone, 1, kNone, 0, 0, 0, SS_CATALOGUE_DAMAGED},  // no catalogue installed
  };
  for (const Row& row : rows) {
    auto put = [](const std::string& profile, const std::string& section, const std::string& value,
                  int number) {
      if (number == kNone)
        c::DeleteSection(profile, section);
      else
        c::WriteInt(profile, section, value, number);
    };
    put("cref.tab", "Misc", "Valid", row.references_valid);
    put("snapshot.ini", "Misc", "Valid", row.master_valid);
    c::WriteInt("snapshot.ini", "LastOp", "DoSave", row.do_save);
    c::WriteInt("snapshot.ini", "LastOp", "DoDelete", row.do_delete);
    c::WriteInt("snapshot.ini", "LastOp", "DoFixDates", row.do_fix_dates);
    if (row.last_valid == kNone) {
      c::WriteInt("snapshot.ini", "Misc", "NumofSSImage", 0);
    } else {
      c::WriteInt("snapshot.ini", "Misc", "NumofSSImage", 2);
      c::WriteText("snapshot.ini", "Misc", "ControlFile2", "19981115.S02");
      c::WriteInt("19981115.S02", "Misc", "Valid", row.last_valid);
    }
    EXPECT_EQ(row.expected, RollBack())
        << "cref " << row.references_valid << ", master " << row.master_valid << ", last "
        << row.last_valid << ", save/delete/fix " << row.do_save << row.do_delete
        << row.do_fix_dates;
  }
}

class RollBackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.PutTwoIniFiles();
    ASSERT_EQ(SS_OK, machine_.Init());
    ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
    machine_.PutFile("WINDOWS/WIN.INI", "[windows]\r\nload=\r\n", FILE_ATTRIBUTE_ARCHIVE,
                     kNovember1998 + 60);
    ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));
  }

  EngineMachine machine_;
};

TEST_F(RollBackTest, RollBackSaveClearsOnlyTheSaveFlag) {
  c::WriteInt("snapshot.ini", "LastOp", "DoSave", 1);
  c::WriteInt("snapshot.ini", "Misc", "Valid", 0);
  ASSERT_EQ(SS_INTERRUPTED_SAVE, machine_.Init());
  EXPECT_EQ(SS_OK, RollBackSave());
  EXPECT_EQ(0, Int("snapshot.ini", "LastOp", "DoSave"));
  EXPECT_EQ(0, Int("snapshot.ini", "Misc", "Valid"));
  EXPECT_EQ(SS_CATALOGUE_DAMAGED, RollBack());
}

TEST_F(RollBackTest, InitPutsBackTheCatalogueAfterARestore) {
  ASSERT_TRUE(ExportKey(std::string(kStore) + "alltabs.sav", kCatalogueKey));
  // The restored hives brought back an older catalogue: one snapshot fewer, and one that the
  // current catalogue does not know.
  c::WriteText("snapshot.ini", "Misc", "ControlFile2", "19981101.S09");
  c::WriteInt("19981101.S09", "Misc", "Valid", 1);
  WriteSetting("DoRestore", "1");

  EXPECT_EQ(SS_OK, machine_.Init());
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S01", "19981115.S02"));
  EXPECT_FALSE(c::KeyExists("19981101.S09"));
  EXPECT_EQ("0", Setting("DoRestore"));
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(RollBackTest, InitAfterARestoreWithoutABackupDeletesNothing) {
  for (const char* backup : {"", "not a registry script\r\n"}) {
    if (*backup != '\0') machine_.WriteFile("WINDOWS/ZEMO/SNAPSHOT/alltabs.sav", backup);
    WriteSetting("DoRestore", "1");
    EXPECT_EQ(SS_OK, machine_.Init()) << "backup \"" << backup << "\"";
    EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S01", "19981115.S02"));
    EXPECT_EQ(2, Int("snapshot.ini", "BackupList", "WinFileTypeCount"));
    EXPECT_EQ("0", Setting("DoRestore"));
  }
}

TEST_F(RollBackTest, RollBackDeletePutsBackTheListsForASecondDelete) {
  ASSERT_TRUE(ExportKey(std::string(kStore) + "snapshot.sav",
                        std::string(kCatalogueKey) + "\\snapshot.ini"));
  ASSERT_TRUE(
      ExportKey(std::string(kStore) + "cref.sav", std::string(kCatalogueKey) + "\\cref.tab"));
  // A delete of the second snapshot stopped half-way: marks set, list already rewritten.
  c::WriteInt("snapshot.ini", "LastOp", "DoDelete", 1);
  c::WriteInt("snapshot.ini", "Misc", "Valid", 0);
  c::WriteInt("cref.tab", "Misc", "Valid", 0);
  c::WriteInt("snapshot.ini", "Misc", "NumofSSImage", 1);
  ASSERT_EQ(SS_INTERRUPTED_DELETE, machine_.Init());

  EXPECT_EQ(SS_OK, RollBackDelete());
  EXPECT_EQ(SS_OK, machine_.Init());
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S01", "19981115.S02"));
  EXPECT_EQ(2, Int("snapshot.ini", "BackupList", "WinFileTypeCount"));
  ASSERT_EQ(DWORD(SS_DELETE_DONE), machine_.Delete("19981115.S02"));
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S01"));
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(RollBackTest, RollBackDeleteWithoutItsBackupsDeletesNothing) {
  ASSERT_TRUE(ExportKey(std::string(kStore) + "snapshot.sav",
                        std::string(kCatalogueKey) + "\\snapshot.ini"));
  machine_.RemoveFile("WINDOWS/ZEMO/SNAPSHOT/cref.sav");
  c::WriteInt("snapshot.ini", "LastOp", "DoDelete", 1);
  c::WriteInt("snapshot.ini", "Misc", "NumofSSImage", 1);
  const std::vector<std::string> index = IndexKeys();

  EXPECT_EQ(SS_OK, RollBackDelete());
  EXPECT_EQ(index, IndexKeys());
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S01"));
  EXPECT_EQ(1, Int("snapshot.ini", "LastOp", "DoDelete"));
}

TEST_F(RollBackTest, RollBackFixDatesNeedsItsBackup) {
  c::WriteInt("snapshot.ini", "LastOp", "DoFixDates", 1);
  c::WriteInt("snapshot.ini", "Misc", "Valid", 0);
  EXPECT_EQ(SS_ROLLBACK_IMPORT, RollBackFixDates());
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S01", "19981115.S02"));
  EXPECT_EQ(1, Int("snapshot.ini", "LastOp", "DoFixDates"));

  c::WriteInt("snapshot.ini", "LastOp", "DoFixDates", 0);
  c::WriteInt("snapshot.ini", "Misc", "Valid", 1);
  ASSERT_TRUE(ExportKey(std::string(kStore) + "fixall.sav", kCatalogueKey));
  c::WriteText("snapshot.ini", "Misc", "ControlFile1", "_19981001.S01");
  c::WriteInt("snapshot.ini", "LastOp", "DoFixDates", 1);
  machine_.WriteFile("WINDOWS/ZEMO/SNAPSHOT/newbatch/19981001.B01", "batch");
  EXPECT_EQ(SS_OK, RollBackFixDates());
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S01", "19981115.S02"));
  EXPECT_EQ(0, Int("snapshot.ini", "LastOp", "DoFixDates"));
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("WINDOWS/ZEMO/SNAPSHOT/newbatch")));
  EXPECT_EQ(SS_OK, machine_.Init());
}

}  // namespace
}  // namespace snapshot::testing
