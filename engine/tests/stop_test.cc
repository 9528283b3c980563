// A save, a delete and a date fixing, each stopped at one suspension point after another: each
// stop must leave a catalogue that Init reports as the interrupted operation (or as consistent,
// when it had not marked it yet or had finished), and that the clean-up of the main program
// (the matching roll-back, then deleting a half-made or half-deleted snapshot) makes whole
// again.
//
// The stop is injected at the platform's seam: this program defines the w98 calls a save makes,
// counts those made by the worker, and at the chosen one asks the engine to stop its workers
// (SetSSState(2)) before passing the call on, so the call itself stops the thread.
#include <dlfcn.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <w98/io.h>

#include "completion_window.h"
#include "engine_testing.h"

namespace {

std::atomic<bool> g_armed{false};
std::atomic<long> g_calls{0};
std::atomic<long> g_stop_at{-1};
std::atomic<bool> g_stopped{false};
std::atomic<std::thread::id> g_worker{};
// The export that each worker makes first; the thread that starts it is the worker.
std::atomic<const char*> g_first_export{"snapshot.sav"};

std::mutex g_labels_mutex;
std::vector<std::string> g_labels;  // what each counted call was, in order

// Counts a call of the save worker; at the chosen one, stops the worker.
void Seam(const char* function, const char* value = nullptr) {
  if (!g_armed.load() || std::this_thread::get_id() != g_worker.load()) return;
  const long n = ++g_calls;
  {
    std::lock_guard<std::mutex> lock(g_labels_mutex);
    g_labels.push_back(value != nullptr ? std::string(function) + " " + value : function);
  }
  if (n == g_stop_at.load()) {
    g_stopped = true;
    SetSSState(SS_STATE_STOP);
  }
}

template <typename Fn>
Fn Next(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(dlsym(RTLD_NEXT, name)));
}

}  // namespace

#define PASS_ON(name, ret, params, args)                       \
  extern "C" ret WINAPI name params {                          \
    static const auto next = Next<ret(WINAPI*) params>(#name); \
    Seam(#name);                                               \
    return next args;                                          \
  }

PASS_ON(RegOpenKeyExA, LONG, (HKEY k, LPCSTR s, DWORD o, REGSAM m, PHKEY r), (k, s, o, m, r))
PASS_ON(RegCreateKeyExA, LONG,
        (HKEY k, LPCSTR s, DWORD r, LPSTR c, DWORD o, REGSAM m, LPSECURITY_ATTRIBUTES a, PHKEY h,
         LPDWORD d),
        (k, s, r, c, o, m, a, h, d))
PASS_ON(RegQueryValueExA, LONG, (HKEY k, LPCSTR n, LPDWORD r, LPDWORD t, LPBYTE d, LPDWORD c),
        (k, n, r, t, d, c))
extern "C" LONG WINAPI RegSetValueExA(HKEY k, LPCSTR n, DWORD r, DWORD t, const BYTE* d, DWORD c) {
  static const auto next =
      Next<LONG(WINAPI*)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD)>("RegSetValueExA");
  Seam("RegSetValueExA", n);
  return next(k, n, r, t, d, c);
}
PASS_ON(RegDeleteValueA, LONG, (HKEY k, LPCSTR n), (k, n))
PASS_ON(RegDeleteKeyA, LONG, (HKEY k, LPCSTR n), (k, n))
PASS_ON(RegFlushKey, LONG, (HKEY k), (k))
PASS_ON(CopyFileA, BOOL, (LPCSTR a, LPCSTR b, BOOL f), (a, b, f))
PASS_ON(SetFileAttributesA, BOOL, (LPCSTR a, DWORD f), (a, f))
PASS_ON(GetFileAttributesA, DWORD, (LPCSTR a), (a))
PASS_ON(DeleteFileA, BOOL, (LPCSTR a), (a))
PASS_ON(MoveFileA, BOOL, (LPCSTR a, LPCSTR b), (a, b))
PASS_ON(RemoveDirectoryA, BOOL, (LPCSTR a), (a))
PASS_ON(CreateDirectoryA, BOOL, (LPCSTR a, LPSECURITY_ATTRIBUTES s), (a, s))
PASS_ON(FindFirstFileA, HANDLE, (LPCSTR a, LPWIN32_FIND_DATAA d), (a, d))
PASS_ON(FindNextFileA, BOOL, (HANDLE h, LPWIN32_FIND_DATAA d), (h, d))
PASS_ON(GetFileVersionInfoSizeA, DWORD, (LPCSTR a, LPDWORD h), (a, h))
extern "C" BOOL WINAPI ShellExecuteExA(LPSHELLEXECUTEINFOA info) {
  static const auto next = Next<BOOL(WINAPI*)(LPSHELLEXECUTEINFOA)>("ShellExecuteExA");
  // The worker's first call: its first export.
  if (g_armed.load() && info->lpParameters != nullptr &&
      std::string(info->lpParameters).find(g_first_export.load()) != std::string::npos &&
      g_worker.load() == std::thread::id())
    g_worker = std::this_thread::get_id();
  Seam("ShellExecuteExA");
  return next(info);
}
PASS_ON(WritePrivateProfileStringA, BOOL, (LPCSTR a, LPCSTR k, LPCSTR v, LPCSTR f), (a, k, v, f))
PASS_ON(_write, int, (int fd, const void* b, unsigned int n), (fd, b, n))
PASS_ON(_lseek, long, (int fd, long o, int w), (fd, o, w))

namespace snapshot::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kName[] = "19981115.S02";

// Runs one worker, started by `start` with the completion window, with a stop at its call
// `stop_at` (-1: never); returns its completion code (0 when it was stopped) and the number of
// calls it made. The worker is the thread that makes the export `first_export`.
DWORD RunStoppedAt(const char* first_export, const char* mutex_name,
                   const std::function<LONG(HWND)>& start, long stop_at, long* calls) {
  g_calls = 0;
  {
    std::lock_guard<std::mutex> lock(g_labels_mutex);
    g_labels.clear();
  }
  g_first_export = first_export;
  g_stop_at = stop_at;
  g_stopped = false;
  g_worker = std::thread::id();
  g_armed = true;
  quillow::CompletionWindow window;
  std::string error;
  DWORD code = 0;
  if (window.Start(&error) && start(window.window()) == SS_OK) {
    while (!window.WaitFor(&code, 20)) {
      if (!g_stopped) continue;
      // The stopped worker has ended once its mutex is free again.
      HANDLE mutex = CreateMutexA(nullptr, FALSE, mutex_name);
      WaitForSingleObject(mutex, INFINITE);
      ReleaseMutex(mutex);
      CloseHandle(mutex);
      code = 0;
      break;
    }
  }
  g_armed = false;
  *calls = g_calls;
  return code;
}

// Every stride-th call of a worker's `total`, and every call whose label begins with one of
// `labels` (from the complete run just made), in order.
std::vector<long> StopPoints(long total, std::initializer_list<const char*> labels) {
  const char* every_env = std::getenv("QUILLOW_STOP_EVERY");
  const long every =
      every_env != nullptr ? std::max(1L, std::atol(every_env)) : std::max(1L, total / 24);
  std::vector<long> points;
  for (long n = 1; n < total; n += every) points.push_back(n);
  for (long n = 1; n < total; ++n) {
    const std::string& label = g_labels[static_cast<size_t>(n - 1)];
    for (const char* prefix : labels)
      if (label.rfind(prefix, 0) == 0) points.push_back(n);
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return points;
}

std::string Trace(long stop_at, long total, const std::vector<std::string>& labels) {
  return "stopped at call " + std::to_string(stop_at) + " of " + std::to_string(total) + ": " +
         labels[static_cast<size_t>(stop_at - 1)];
}

// A machine with one snapshot taken; the next save stores one changed kernel file and one new
// user file, shares two versions, and finds no CONFIG.SYS.
class Scenario {
 public:
  Scenario() {
    machine.PutFile("AUTOEXEC.BAT", "@ECHO OFF\r\n");
    machine.RemoveFile("CONFIG.SYS");
    machine.PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\n");
    machine.PutFile("WINDOWS/WIN.INI", "[windows]\r\n");
    machine.Provision({{"C:\\AUTOEXEC.BAT", "C:\\CONFIG.SYS"},
                       {"\\SYSTEM.INI", "\\WIN.INI", "\\Notes File.txt"}});
    ready = machine.Init() == SS_OK && machine.Save("19981115.S01") == SS_SAVE_DONE;
    machine.PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\nchanged\r\n", FILE_ATTRIBUTE_ARCHIVE,
                    kNovember1998 + 60);
    machine.PutFile("WINDOWS/Notes File.txt", "notes\r\n");
  }

  DWORD SaveStoppedAt(long stop_at, long* calls) {
    return RunStoppedAt(
        "snapshot.sav", "SaveMutex", [](HWND window) { return SaveSSImage(window, kName, "", 0); },
        stop_at, calls);
  }
  DWORD DeleteStoppedAt(long stop_at, long* calls) {
    return RunStoppedAt(
        "snapshot.sav", "DeleteMutex", [](HWND window) { return DeleteSSImg(window, kName, 0); },
        stop_at, calls);
  }

  EngineMachine machine;
  bool ready = false;
};

// The clean-up of the main program after a stopped save or delete: when Init reports it, roll
// it back and delete the half-made or half-deleted snapshot.
void CleanUp(EngineMachine& machine, LONG status) {
  if (status == SS_INTERRUPTED_SAVE) {
    const std::string name = Text("snapshot.ini", "LastOp", "saveimage");
    EXPECT_EQ(SS_OK, RollBackSave());
    EXPECT_EQ(DWORD(SS_DELETE_DONE), machine.Delete(name));
  } else if (status == SS_INTERRUPTED_DELETE) {
    const std::string name = Text("snapshot.ini", "LastOp", "deleteimage");
    EXPECT_EQ(SS_OK, RollBackDelete());
    EXPECT_EQ(DWORD(SS_DELETE_DONE), machine.Delete(name));
  }
}

TEST(StopEverywhere, EachStopOfASaveIsReportedAndCleanedUp) {
  long total = 0;
  {
    Scenario scenario;
    ASSERT_TRUE(scenario.ready);
    ASSERT_EQ(DWORD(SS_SAVE_DONE), scenario.SaveStoppedAt(-1, &total));
    ASSERT_GT(total, 50) << "the seam did not see the save";
    EXPECT_THAT(StoreProblems(), IsEmpty());
  }
  // Every write of a list's value or count too: a stop between the value and the count that
  // names it is where a list can be left naming a missing value.
  const std::vector<long> points = StopPoints(
      total, {"RegSetValueExA ControlFile", "RegSetValueExA NumofSSImage", "RegSetValueExA Ref",
              "RegSetValueExA Key", "RegSetValueExA IndexCount", "RegSetValueExA File"});
  const std::vector<std::string> labels = g_labels;
  std::printf("stopping the save at %zu of its %ld calls\n", points.size(), total);
  for (const long stop_at : points) {
    SCOPED_TRACE(Trace(stop_at, total, labels));
    Scenario scenario;
    ASSERT_TRUE(scenario.ready);
    long calls = 0;
    ASSERT_EQ(DWORD(0), scenario.SaveStoppedAt(stop_at, &calls)) << "the save was not stopped";
    const LONG status = scenario.machine.Init();
    ASSERT_TRUE(status == SS_OK || status == SS_INTERRUPTED_SAVE) << "Init answered " << status;
    CleanUp(scenario.machine, status);
    EXPECT_EQ(SS_OK, scenario.machine.Init());
    EXPECT_THAT(StoreProblems(), IsEmpty());
    // The store takes the next snapshot as if nothing had happened.
    EXPECT_EQ(DWORD(SS_SAVE_DONE), scenario.machine.Save("19981115.S03"));
    EXPECT_THAT(StoreProblems(), IsEmpty());
    if (::testing::Test::HasFailure()) break;
  }
}

TEST(StopEverywhere, EachStopOfADeleteIsReportedAndRepairedByASecondDelete) {
  long total = 0;
  {
    Scenario scenario;
    ASSERT_TRUE(scenario.ready);
    ASSERT_EQ(DWORD(SS_SAVE_DONE), scenario.machine.Save(kName));
    ASSERT_EQ(DWORD(SS_DELETE_DONE), scenario.DeleteStoppedAt(-1, &total));
    ASSERT_GT(total, 30) << "the seam did not see the delete";
  }
  const std::vector<long> points =
      StopPoints(total, {"RegSetValueExA", "DeleteFileA", "RegDeleteKeyA"});
  const std::vector<std::string> labels = g_labels;
  std::printf("stopping the delete at %zu of its %ld calls\n", points.size(), total);
  for (const long stop_at : points) {
    SCOPED_TRACE(Trace(stop_at, total, labels));
    Scenario scenario;
    ASSERT_TRUE(scenario.ready);
    ASSERT_EQ(DWORD(SS_SAVE_DONE), scenario.machine.Save(kName));
    long calls = 0;
    ASSERT_EQ(DWORD(0), scenario.DeleteStoppedAt(stop_at, &calls)) << "not stopped";
    const LONG status = scenario.machine.Init();
    ASSERT_TRUE(status == SS_OK || status == SS_INTERRUPTED_DELETE) << "Init answered " << status;
    CleanUp(scenario.machine, status);
    // Stopped before it changed anything: the snapshot is still there to delete.
    if (SnapshotList().size() == 2) {
      EXPECT_EQ(DWORD(SS_DELETE_DONE), scenario.machine.Delete(kName));
    }
    EXPECT_EQ(SS_OK, scenario.machine.Init());
    EXPECT_THAT(SnapshotList(), ElementsAre("19981115.S01"));
    EXPECT_THAT(StoreProblems(), IsEmpty());
    if (::testing::Test::HasFailure()) break;
  }
}

// Two snapshots dated after the machine's clock, which has been put back.
class DatesScenario {
 public:
  DatesScenario() {
    machine.PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\n");
    machine.PutFile("WINDOWS/WIN.INI", "[windows]\r\n");
    machine.Provision({{}, {"\\SYSTEM.INI", "\\WIN.INI"}});
    ready = machine.Init() == SS_OK && EngineMachine::SetClock(1998, 11, 30) &&
            machine.Save("19981125.S01") == SS_SAVE_DONE;
    machine.PutFile("WINDOWS/WIN.INI", "[windows]\r\nload=\r\n", FILE_ATTRIBUTE_ARCHIVE,
                    kNovember1998 + 60);
    ready = ready && machine.Save("19981127.S02") == SS_SAVE_DONE &&
            EngineMachine::SetClock(1998, 11, 20);
  }

  DWORD FixStoppedAt(long stop_at, long* calls) {
    return RunStoppedAt(
        "fixall.sav", "FixDateMutex",
        [this](HWND window) { return FixSSImgDates(window, 1, pairs, 0); }, stop_at, calls);
  }

  EngineMachine machine;
  SSRenameRecord pairs[2] = {};
  bool ready = false;
};

TEST(StopEverywhere, EachStopOfADateFixingIsRolledBack) {
  const std::vector<std::string> before = {"19981125.S01", "19981127.S02"};
  const std::vector<std::string> after = {"19981117.S01", "19981119.S02"};
  long total = 0;
  {
    DatesScenario scenario;
    ASSERT_TRUE(scenario.ready);
    ASSERT_EQ(DWORD(SS_FIXDATES_DONE), scenario.FixStoppedAt(-1, &total));
    ASSERT_EQ(after, SnapshotList());
    ASSERT_GT(total, 30) << "the seam did not see the date fixing";
  }
  const std::vector<long> points = StopPoints(total, {"MoveFileA", "RemoveDirectoryA"});
  const std::vector<std::string> labels = g_labels;
  std::printf("stopping the date fixing at %zu of its %ld calls\n", points.size(), total);
  for (const long stop_at : points) {
    SCOPED_TRACE(Trace(stop_at, total, labels));
    DatesScenario scenario;
    ASSERT_TRUE(scenario.ready);
    long calls = 0;
    ASSERT_EQ(DWORD(0), scenario.FixStoppedAt(stop_at, &calls)) << "not stopped";
    const LONG status = scenario.machine.Init();
    ASSERT_TRUE(status == SS_OK || status == SS_INTERRUPTED_FIXDATES) << "Init answered " << status;
    if (status == SS_INTERRUPTED_FIXDATES) {
      EXPECT_EQ(SS_OK, RollBackFixDates());
      EXPECT_EQ(before, SnapshotList());
    } else {
      EXPECT_TRUE(SnapshotList() == before || SnapshotList() == after);
    }
    EXPECT_EQ(SS_OK, scenario.machine.Init());
    EXPECT_FALSE(std::filesystem::exists(scenario.machine.OnC("WINDOWS/ZEMO/SNAPSHOT/newbatch")));
    EXPECT_THAT(StoreProblems(), IsEmpty());
    // A second run finishes the work.
    const DWORD again = scenario.machine.FixDates(1, scenario.pairs);
    EXPECT_TRUE(again == SS_FIXDATES_DONE || again == SS_FIXDATES_NOTHING) << again;
    EXPECT_EQ(after, SnapshotList());
    EXPECT_THAT(StoreProblems(), IsEmpty());
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace snapshot::testing
