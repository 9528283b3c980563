// The workers as the caller steers them: pausing, continuing and stopping a save, the
// machine-wide catalogue lock, and deletes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "completion_window.h"
#include "engine_testing.h"

namespace snapshot::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

constexpr int kManyFiles = 400;
constexpr char kName[] = "19981115.S01";

// A save of many files started in the background, with the window that receives its end.
class RunningSave {
 public:
  explicit RunningSave(const std::string& name, LONG mode = SS_SAVE_MODE_YIELD) : name_(name) {
    std::string error;
    started_ =
        window_.Start(&error) && SaveSSImage(window_.window(), name.c_str(), "", mode) == SS_OK;
  }
  bool started() const { return started_; }
  // Files recorded so far.
  LONG Files() const { return GetSSImgInfoCount(name_.c_str()); }
  // Waits until the save has recorded at least `n` files (false after 60 s).
  bool WaitForFiles(LONG n) const {
    for (int i = 0; i < 6000; ++i) {
      if (Files() >= n) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
  // The completion code, or 0 when none came within `timeout`.
  DWORD Completion(std::chrono::milliseconds timeout) {
    DWORD code = 0;
    return window_.WaitFor(&code, static_cast<unsigned>(timeout.count())) ? code : 0;
  }

 private:
  std::string name_;
  quillow::CompletionWindow window_;
  bool started_ = false;
};

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < kManyFiles; ++i)
      machine_.WriteFile("WINDOWS/MANY/F" + std::to_string(i) + ".DLL",
                         "file " + std::to_string(i));
    machine_.Provision({{}, {"\\MANY\\*.DLL"}});
    ASSERT_EQ(SS_OK, machine_.Init());
  }

  EngineMachine machine_;
};

TEST_F(WorkerTest, SetSSStateWithoutWorkersDoesNothing) {
  EXPECT_EQ(SS_OK, SetSSState(SS_STATE_CONTINUE));
  EXPECT_EQ(SS_OK, SetSSState(SS_STATE_PAUSE));
  EXPECT_EQ(SS_OK, SetSSState(7));
  EXPECT_EQ(SS_OK, SetSSState(-1));
}

TEST_F(WorkerTest, PauseCountsSuspensionsAndContinueResumes) {
  RunningSave save(kName);
  ASSERT_TRUE(save.started());
  ASSERT_TRUE(save.WaitForFiles(5));
  EXPECT_EQ(SS_OK, SetSSState(SS_STATE_PAUSE));
  EXPECT_EQ(SS_OK, SetSSState(SS_STATE_PAUSE));
  std::this_thread::sleep_for(100ms);
  const LONG paused_at = save.Files();
  const size_t copies_at = machine_.StoredCopies().size();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(paused_at, save.Files()) << "a paused save went on";
  EXPECT_EQ(copies_at, machine_.StoredCopies().size()) << "a paused save went on copying";

  // Suspended twice, continued once: still suspended.
  EXPECT_EQ(SS_OK, SetSSState(SS_STATE_CONTINUE));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(paused_at, save.Files());

  EXPECT_EQ(SS_OK, SetSSState(SS_STATE_CONTINUE));
  EXPECT_EQ(DWORD(SS_SAVE_DONE), save.Completion(120s));
  EXPECT_EQ(kManyFiles, GetSSImgInfoCount(kName));
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(WorkerTest, AStoppedSaveIsReportedAndCleanedUp) {
  {
    RunningSave save(kName);
    ASSERT_TRUE(save.started());
    ASSERT_TRUE(save.WaitForFiles(20));
    EXPECT_EQ(SS_OK, SetSSState(SS_STATE_STOP));
    EXPECT_EQ(DWORD(0), save.Completion(1500ms)) << "a stopped save sent its completion";
    // Its copies stopped with it.
    const size_t copies = machine_.StoredCopies().size();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(copies, machine_.StoredCopies().size()) << "a copy was made after the stop";
  }
  EXPECT_EQ(1, Int("snapshot.ini", "LastOp", "DoSave"));
  EXPECT_EQ(kName, Text("snapshot.ini", "LastOp", "saveimage"));
  EXPECT_EQ(SS_INTERRUPTED_SAVE, machine_.Init());

  // The clean-up of an interrupted save: roll back, then delete the half-made snapshot. The
  // delete takes over the mutexes that the stopped save abandoned.
  EXPECT_EQ(SS_OK, RollBackSave());
  ASSERT_EQ(DWORD(SS_DELETE_DONE), machine_.Delete(kName));
  EXPECT_EQ(SS_OK, machine_.Init());
  EXPECT_THAT(SnapshotList(), IsEmpty());
  EXPECT_THAT(machine_.StoredCopies(), IsEmpty());
  EXPECT_THAT(StoreProblems(), IsEmpty());
  // And the next save works.
  EXPECT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(WorkerTest, AWorkerWaitsForTheCatalogueLock) {
  // Another worker (here: this test, in the worker's place) holds the catalogue.
  HANDLE lock = CreateMutexA(nullptr, FALSE, "SnapshotCatalogueMutex");
  ASSERT_NE(nullptr, lock);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(lock, INFINITE));
  RunningSave save(kName, 0);
  ASSERT_TRUE(save.started());
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(-999, Int("snapshot.ini", "LastOp", "DoSave")) << "the save did not wait";
  EXPECT_EQ(0, save.Files());

  ReleaseMutex(lock);
  CloseHandle(lock);
  EXPECT_EQ(DWORD(SS_SAVE_DONE), save.Completion(120s));
  EXPECT_THAT(SnapshotList(), ElementsAre(kName));
}

TEST_F(WorkerTest, ASaveStartedDuringADeleteLosesNoListEntry) {
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));
  // Both workers at once: each holds the catalogue for its whole run.
  quillow::CompletionWindow window;
  std::string error;
  ASSERT_TRUE(window.Start(&error)) << error;
  ASSERT_EQ(SS_OK, DeleteSSImg(window.window(), "19981115.S01", 0));
  ASSERT_EQ(SS_OK, SaveSSImage(window.window(), "19981115.S03", "", 0));
  DWORD first = 0, second = 0;
  ASSERT_TRUE(window.WaitFor(&first, 120000));
  ASSERT_TRUE(window.WaitFor(&second, 120000));
  EXPECT_EQ(DWORD(SS_DELETE_DONE + SS_SAVE_DONE), first + second);
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S02", "19981115.S03"));
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

class DeleteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.PutTwoIniFiles();
    ASSERT_EQ(SS_OK, machine_.Init());
  }
  EngineMachine machine_;
};

TEST_F(DeleteTest, SharedVersionsStayAndTheLastHolderTakesTheCopy) {
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));
  machine_.PutFile("WINDOWS/WIN.INI", "[windows]\r\nrun=\r\n", FILE_ATTRIBUTE_ARCHIVE,
                   kNovember1998 + 60);
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S03"));
  const std::vector<std::string> copies = machine_.StoredCopies();
  ASSERT_EQ(3u, copies.size());

  // The middle snapshot: every version it holds is shared, nothing is removed.
  ASSERT_EQ(DWORD(SS_DELETE_DONE), machine_.Delete("19981115.S02"));
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S01", "19981115.S03"));
  EXPECT_EQ(copies, machine_.StoredCopies());
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("WINDOWS/ZEMO/SNAPSHOT/batch/19981115.B02")));
  EXPECT_EQ("19981115.S03", Setting("latestss"));
  EXPECT_THAT(StoreProblems(), IsEmpty());

  // The first: its old WIN.INI goes with it.
  ASSERT_EQ(DWORD(SS_DELETE_DONE), machine_.Delete("19981115.S01"));
  EXPECT_EQ(2u, machine_.StoredCopies().size());
  EXPECT_EQ(2u, IndexKeys().size());
  EXPECT_THAT(StoreProblems(), IsEmpty());

  // A name that is not listed changes nothing.
  ASSERT_EQ(DWORD(SS_DELETE_DONE), machine_.Delete("19981115.S09"));
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S03"));

  // The last one: the store is empty, sswizard.ini keeps its last values.
  ASSERT_EQ(DWORD(SS_DELETE_DONE), machine_.Delete("19981115.S03"));
  EXPECT_EQ(0, Int("snapshot.ini", "Misc", "NumofSSImage"));
  EXPECT_EQ(0, Int("cref.tab", "Index", "IndexCount"));
  EXPECT_THAT(machine_.StoredCopies(), IsEmpty());
  EXPECT_EQ("19981115.S03", Setting("latestss"));
  EXPECT_EQ(SS_OK, machine_.Init());
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(DeleteTest, ANameListedTwiceInAReferenceListLosesOneOccurrence) {
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));
  const std::string key = Text("19981115.S01", "KernelFileList", "File0");
  namespace c = quillow::catalogue;
  c::WriteText("cref.tab", key, "RefControlFile3", "19981115.S01");
  c::WriteInt("cref.tab", key, "RefCount", 3);
  ASSERT_EQ(DWORD(SS_DELETE_DONE), machine_.Delete("19981115.S01"));
  EXPECT_THAT(References(key), ElementsAre("19981115.S02", "19981115.S01"));
}

TEST_F(DeleteTest, ADeleteThatCannotBackUpTheCatalogueChangesNothing) {
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
  // A backup of an older catalogue lies in the store: a roll-back must never import it.
  machine_.WriteFile("WINDOWS/ZEMO/SNAPSHOT/snapshot.sav", "REGEDIT4\r\n\r\n");
  const std::vector<std::string> copies = machine_.StoredCopies();
  machine_.RemoveFile("WINDOWS/REGEDIT.EXE");
  EXPECT_EQ(DWORD(SS_DELETE_FAILED), machine_.Delete("19981115.S01"));
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S01"));
  EXPECT_EQ(copies, machine_.StoredCopies());
  EXPECT_EQ(-999, Int("snapshot.ini", "LastOp", "DoDelete"));
  EXPECT_EQ("", machine_.StoreFile("snapshot.sav")) << "the stale backup was kept";
  EXPECT_EQ(SS_OK, machine_.Init());
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

TEST_F(DeleteTest, AGapInAFileListReleasesNothing) {
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S01"));
  ASSERT_EQ(DWORD(SS_SAVE_DONE), machine_.Save("19981115.S02"));
  // The first snapshot's kernel list names one file more than it holds.
  namespace c = quillow::catalogue;
  const int kernel = Int("19981115.S01", "KernelFileList", "FileCount");
  c::WriteInt("19981115.S01", "KernelFileList", "FileCount", kernel + 1);
  const std::vector<std::string> index = IndexKeys();
  ASSERT_EQ(DWORD(SS_DELETE_DONE), machine_.Delete("19981115.S01"));
  EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S02"));
  EXPECT_EQ(index, IndexKeys()) << "the reference table lost entries";
  EXPECT_EQ(1, Int("cref.tab", "Misc", "Valid"));
  EXPECT_THAT(StoreProblems(), IsEmpty());
}

}  // namespace
}  // namespace snapshot::testing
