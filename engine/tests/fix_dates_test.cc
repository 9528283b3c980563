// Re-dating the snapshots after the machine's clock was put back, and the roll-back of a date
// fixing that failed half-way.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine_testing.h"

namespace snapshot::testing {
namespace {

namespace c = quillow::catalogue;
namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

// The name pairs the worker filled, as "old>new"; entries left untouched read "<untouched>".
std::vector<std::string> Pairs(const std::vector<SSRenameRecord>& records) {
  std::vector<std::string> pairs;
  for (const SSRenameRecord& record : records) {
    if (record.oldName[0] == 'Z') {
      pairs.push_back("<untouched>");
      continue;
    }
    pairs.push_back(std::string(record.oldName) + ">" + record.newName);
  }
  return pairs;
}

std::vector<SSRenameRecord> Sentinels(size_t n) {
  std::vector<SSRenameRecord> records(n);
  for (SSRenameRecord& record : records) std::memset(&record, 'Z', sizeof record);
  return records;
}

class FixDatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.PutTwoIniFiles();
    ASSERT_EQ(SS_OK, machine_.Init());
  }

  // Saves the snapshots; WIN.INI changes before each, so every snapshot holds one version of
  // its own and shares SYSTEM.INI.
  void SaveAll(const std::vector<std::string>& names) {
    int n = 0;
    for (const std::string& name : names) {
      machine_.PutFile("WINDOWS/WIN.INI", "[windows]\r\n" + name + "\r\n", FILE_ATTRIBUTE_ARCHIVE,
                       kNovember1998 + 60 * ++n);
      ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save(name, "comment of " + name)) << name;
    }
  }

  std::vector<std::string> BatchFolder() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry :
         fs::directory_iterator(machine_.OnC("WINDOWS/ZEMO/SNAPSHOT/batch"), ec))
      names.push_back(entry.path().filename().string());
    return names;
  }

  // The snapshot's batch file names, 'B', 'W' and 'D'.
  static std::vector<std::string> BatchNames(const std::vector<std::string>& snapshots) {
    std::vector<std::string> names;
    for (const std::string& snapshot : snapshots)
      for (char letter : {'B', 'W', 'D'}) {
        std::string name = snapshot;
        name[9] = letter;
        names.push_back(name);
      }
    return names;
  }

  bool WorkFoldersGone() const {
    return !fs::exists(machine_.OnC("WINDOWS/ZEMO/SNAPSHOT/newbatch")) &&
           !fs::exists(machine_.OnC("WINDOWS/ZEMO/SNAPSHOT/oldbatch"));
  }

  EngineMachine machine_;
};

TEST_F(FixDatesTest, TheClockPutBackMovesEverySnapshotByOneShift) {
  ASSERT_TRUE(EngineMachine::SetClock(1998, 11, 30));
  SaveAll({"19981125.S01", "19981127.S02"});
  const std::string shared = Text("19981125.S01", "KernelFileList", "File0");
  std::string own;
  for (const char* list : {"KernelFileList", "UserFileList"})
    for (const std::string& key : c::ReadList("19981127.S02", list, "FileCount", "File", 0))
      if (key != shared) own = key;
  ASSERT_FALSE(own.empty());
  auto lists = [](const std::string& snapshot) {
    return std::vector<std::vector<std::string>>{
        c::ReadList(snapshot, "KernelFileList", "FileCount", "File", 0),
        c::ReadList(snapshot, "UserFileList", "FileCount", "File", 0)};
  };
  const auto files_before = lists("19981127.S02");
  const std::string boot_batch = machine_.StoreFile("batch/19981127.B02");
  const std::string saved_time = Text("19981127.S02", "Misc", "Time");

  // The clock goes back to 20 November, noon; the latest snapshot must fall a day before.
  ASSERT_TRUE(EngineMachine::SetClock(1998, 11, 20));
  std::vector<SSRenameRecord> pairs = Sentinels(3);
  ASSERT_EQ(DWORD(SS_FIXDATES_DONE), machine_.FixDates(1, pairs.data()));

  // Shift: 27 Nov 00:00 minus (19 Nov 12:00) = 7.5 days; 25 Nov 00:00 lands on 17 Nov, noon.
  EXPECT_THAT(Pairs(pairs),
              ElementsAre("19981125.S01>19981117.S01", "19981127.S02>19981119.S02", "<untouched>"));
  EXPECT_THAT(SnapshotList(), ElementsAre("19981117.S01", "19981119.S02"));
  for (const char* gone : {"19981125.S01", "19981127.S02", "_19981117.S01", "_19981119.S02"})
    EXPECT_FALSE(c::KeyExists(gone)) << gone;
  EXPECT_EQ("19981119.S02", Text("19981119.S02", "Misc", "ImageName"));
  EXPECT_EQ("19981119", Text("19981119.S02", "Misc", "Date"));
  EXPECT_EQ(saved_time, Text("19981119.S02", "Misc", "Time"));
  EXPECT_EQ("comment of 19981127.S02", Text("19981119.S02", "Misc", "Comments"));
  EXPECT_EQ(1, Int("19981119.S02", "Misc", "Valid"));
  EXPECT_EQ(files_before, lists("19981119.S02"));

  EXPECT_THAT(References(shared), ElementsAre("19981117.S01", "19981119.S02"));
  EXPECT_THAT(References(own), ElementsAre("19981119.S02"));

  EXPECT_THAT(BatchFolder(),
              UnorderedElementsAreArray(BatchNames({"19981117.S01", "19981119.S02"})));
  EXPECT_EQ(boot_batch, machine_.StoreFile("batch/19981119.B02"));
  EXPECT_TRUE(WorkFoldersGone());
  const std::string backup = machine_.StoreFile("fixall.sav");
  EXPECT_EQ(0u, backup.rfind("REGEDIT4", 0));
  EXPECT_EQ("\r\n\n", backup.substr(backup.size() - 3)) << "no line feed appended";

  EXPECT_EQ(0, Int("snapshot.ini", "LastOp", "DoFixDates"));
  EXPECT_EQ(SS_OK, machine_.Init());
  EXPECT_THAT(StoreProblems(), IsEmpty());
  EXPECT_EQ(2, GetSSImgInfoCount("19981119.S02"));
}

TEST_F(FixDatesTest, SnapshotsOfOneDateKeepDistinctNames) {
  ASSERT_TRUE(EngineMachine::SetClock(1998, 12, 10));
  SaveAll({"19981205.S01", "19981205.S02", "19981205.S00", "19981206.S01"});
  ASSERT_TRUE(EngineMachine::SetClock(1998, 12, 1));
  std::vector<SSRenameRecord> pairs = Sentinels(4);
  ASSERT_EQ(DWORD(SS_FIXDATES_DONE), machine_.FixDates(0, pairs.data()));
  // 6 Dec 00:00 moves to 1 Dec noon: 5 days 12 hours back.
  EXPECT_THAT(SnapshotList(),
              ElementsAre("19981130.S01", "19981130.S02", "19981130.S00", "19981201.S01"));
  EXPECT_THAT(BatchFolder(), UnorderedElementsAreArray(BatchNames(SnapshotList())));
  EXPECT_TRUE(WorkFoldersGone());
  EXPECT_EQ(SS_OK, machine_.Init());
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(FixDatesTest, NothingToRedateRewritesTheListUnchanged) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    LONG days;
  };
  ASSERT_TRUE(EngineMachine::SetClock(1998, 11, 30));
  // Each case adds to the snapshots of the ones before it.
  const Case cases[] = {
      {"no snapshot listed", {}, 0},
      {"every snapshot dated before now", {"19981120.S01", "19981129.S01"}, 0},
      {"the latest dated today, days = 0", {"19981130.S01"}, 0},
      {"the latest exactly the given days before now", {}, -1},
  };
  std::vector<std::string> listed;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    SaveAll(test.names);
    listed.insert(listed.end(), test.names.begin(), test.names.end());
    const std::vector<std::string> batch = BatchFolder();
    std::vector<SSRenameRecord> pairs = Sentinels(listed.size() + 1);
    if (test.days < 0) {
      ASSERT_TRUE(EngineMachine::SetClock(1998, 11, 30, 0));
    }
    EXPECT_EQ(DWORD(SS_FIXDATES_NOTHING),
              machine_.FixDates(test.days < 0 ? 0 : test.days, pairs.data()));
    EXPECT_EQ(listed, SnapshotList());
    EXPECT_EQ(static_cast<int>(listed.size()), Int("snapshot.ini", "Misc", "NumofSSImage", 0));
    for (const std::string& pair : Pairs(pairs)) EXPECT_EQ("<untouched>", pair);
    EXPECT_EQ(batch, BatchFolder());
    EXPECT_EQ(0, Int("snapshot.ini", "LastOp", "DoFixDates"));
    EXPECT_EQ(SS_OK, machine_.Init());
    EXPECT_THAT(StoreProblems(), IsEmpty());
  }
}

TEST_F(FixDatesTest, AFailureHalfWayIsRolledBack) {
  ASSERT_TRUE(EngineMachine::SetClock(1998, 11, 30));
  SaveAll({"19981125.S01", "19981127.S02", "19981128.S03"});
  // The second snapshot's Windows-phase batch file is gone: the run fails after it has moved
  // the first snapshot and copied its batch files.
  const fs::path lost = machine_.OnC("WINDOWS/ZEMO/SNAPSHOT/batch/19981127.W02");
  const std::string lost_bytes = machine_.StoreFile("batch/19981127.W02");
  fs::remove(lost);
  ASSERT_TRUE(EngineMachine::SetClock(1998, 11, 20));
  std::vector<SSRenameRecord> pairs = Sentinels(3);
  ASSERT_EQ(DWORD(SS_FIXDATES_FAILED), machine_.FixDates(1, pairs.data()));
  EXPECT_EQ(1, Int("snapshot.ini", "LastOp", "DoFixDates"));
  EXPECT_TRUE(c::KeyExists("_19981116.S01"));
  EXPECT_TRUE(fs::exists(machine_.OnC("WINDOWS/ZEMO/SNAPSHOT/newbatch/19981116.B01")));
  ASSERT_EQ(SS_INTERRUPTED_FIXDATES, machine_.Init());

  EXPECT_EQ(SS_OK, RollBackFixDates());
  EXPECT_THAT(SnapshotList(), ElementsAre("19981125.S01", "19981127.S02", "19981128.S03"));
  EXPECT_FALSE(c::KeyExists("_19981116.S01"));
  EXPECT_EQ("comment of 19981125.S01", Text("19981125.S01", "Misc", "Comments"));
  EXPECT_TRUE(WorkFoldersGone());
  EXPECT_EQ(SS_OK, machine_.Init());
  // The lost file back, the store is whole and the date fixing now goes through.
  machine_.WriteFile("WINDOWS/ZEMO/SNAPSHOT/batch/19981127.W02", lost_bytes);
  EXPECT_THAT(StoreProblems(), IsEmpty());
  ASSERT_EQ(DWORD(SS_FIXDATES_DONE), machine_.FixDates(1, pairs.data()));
  EXPECT_THAT(SnapshotList(), ElementsAre("19981116.S01", "19981118.S02", "19981119.S03"));
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(FixDatesTest, NamesThatCannotBeRedatedChangeNothing) {
  ASSERT_TRUE(EngineMachine::SetClock(1998, 11, 30));
  SaveAll({"19981125.S01"});
  ASSERT_TRUE(EngineMachine::SetClock(1998, 11, 20));
  for (const char* name : {"1998112X.S02", "19981.S2", ""}) {
    SCOPED_TRACE(std::string("listed name \"") + name + "\"");
    c::WriteText("snapshot.ini", "Misc", "ControlFile2", name);
    c::WriteInt("snapshot.ini", "Misc", "NumofSSImage", 2);
    std::vector<SSRenameRecord> pairs = Sentinels(2);
    EXPECT_EQ(DWORD(SS_FIXDATES_FAILED), machine_.FixDates(1, pairs.data()));
    EXPECT_EQ(-999, Int("snapshot.ini", "LastOp", "DoFixDates"));
    EXPECT_EQ(1, Int("snapshot.ini", "Misc", "Valid"));
    EXPECT_THAT(SnapshotList(), ElementsAre("19981125.S01", name));
    EXPECT_TRUE(WorkFoldersGone());
  }
}

}  // namespace
}  // namespace snapshot::testing
