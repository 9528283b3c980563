// Benchmarks of the engine on a generated machine of 10,000 provisioned files (about 400 MB):
//   - cp -a of the generated files (the baseline of the base snapshot),
//   - the base snapshot (target: within 1.3 times the baseline; each run is paired with a cp -a
//     measured just before it, and the ratio of the two is reported),
//   - a second snapshot with nothing changed, after a base snapshot (target: 1 s or less),
//   - GetSSImgInfo of one 10,000-file snapshot (target: 50 ms or less),
//   - the peak memory of a save in a process of its own, for machines of different file counts
//     and file sizes (target: grows with the number of files only),
//   - deleting a snapshot whose 10,000 files are all shared with another (target: 1 s or less),
//   - deleting a snapshot whose 10,000 files are its own (target: at most twice the time of
//     rm -r of the same stored copies, measured beside it, plus 1 s),
//   - re-dating 50 snapshots of 1,000 files each, on a machine of its own (target: 3 s or less).
//
// Run from a release build: bench/engine/run.sh. The machine is generated once into
// QUILLOW_BENCH_MACHINE (default: <bin>/../engine-bench-machine) and reused.
//
// Copies and saves create thousands of files. On an ext4 without a journal (this build machine's
// disk) the inode allocator skips, one by one, inodes deleted less than 60 s ago, or less than
// 360 s ago while their inode table block is dirty, and every new file in the same block group
// scans past them all: a save or a cp -a started within six minutes of a big deletion runs
// several times slower. This program therefore never deletes before it measures: old copies are
// moved aside and deleted when it ends, and the next run first waits until six minutes have
// passed since that deletion (QUILLOW_BENCH_NO_WAIT=1 skips the wait; QUILLOW_BENCH_KEEP_TRASH=1
// keeps the old copies instead, for runs one after another, while the disk has room for them).
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <w98/w98.h>
#include <w98/windows.h>

#include "completion_window.h"
#include "generated_machine.h"
#include "snapshot/snapshot.h"
#include "temp_machine.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using quillow::bench::MachineShape;

constexpr char kStore[] = "c:\\windows\\zemo\\snapshot\\";

std::string BinFolder() {
  return w98::testing::BuildBinFolder().string();
}

std::string MachineFolder() {
  if (const char* env = std::getenv("QUILLOW_BENCH_MACHINE"); env != nullptr && *env != '\0')
    return env;
  return (fs::path(BinFolder()).parent_path() / "engine-bench-machine").string();
}

// Where folders moved out of the way wait until the program ends.
fs::path TrashFolder() {
  return MachineFolder() + "-trash";
}

// Written when the trash has been deleted; its time is the deletion's.
fs::path DeletionStamp() {
  return MachineFolder() + "-deleted";
}

// How long ext4 may keep a deleted inode "recently deleted" (its dirty-block allowance).
constexpr auto kRecentDeletion = std::chrono::seconds(365);

bool EnvironmentSays(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && std::string(value) == "1";
}

// Old copies are kept on request only while the disk keeps this much free: every run moves
// about as much aside as the machine holds, and a full disk fails everything on the host.
constexpr std::uintmax_t kKeepTrashWhileFree = 16ULL << 30;

void DeleteTrash() {
  if (!fs::exists(TrashFolder())) return;
  if (EnvironmentSays("QUILLOW_BENCH_KEEP_TRASH")) {
    std::error_code error;
    const fs::space_info space = fs::space(TrashFolder(), error);
    if (error || space.available >= kKeepTrashWhileFree) return;
    std::fprintf(stderr,
                 "deleting the old copies after all: the disk has less than %llu GiB free\n",
                 static_cast<unsigned long long>(kKeepTrashWhileFree >> 30));
  }
  fs::remove_all(TrashFolder());
  std::FILE* stamp = std::fopen(DeletionStamp().c_str(), "w");
  if (stamp != nullptr) std::fclose(stamp);
}

// Waits until the last run's deletion no longer slows the creation of files.
void WaitForQuietInodes() {
  if (EnvironmentSays("QUILLOW_BENCH_NO_WAIT")) return;
  std::error_code error;
  const auto deleted = fs::last_write_time(DeletionStamp(), error);
  if (error) return;
  const auto age = fs::file_time_type::clock::now() - deleted;
  if (age >= kRecentDeletion) return;
  const auto wait = std::chrono::duration_cast<std::chrono::seconds>(kRecentDeletion - age);
  std::fprintf(stderr,
               "waiting %lld s: the files the last run deleted would slow every file created "
               "meanwhile (QUILLOW_BENCH_NO_WAIT=1 skips this)\n",
               static_cast<long long>(wait.count()));
  std::this_thread::sleep_for(wait);
}

// Folders moved aside since the last timed run began, whose cached pages are still held.
std::vector<fs::path>& MovedSinceLastRun() {
  static std::vector<fs::path> folders;
  return folders;
}

// Moves a host folder out of the way instead of deleting it (see above: a deletion slows every
// file created for minutes after it). The folders moved away are deleted when the program ends.
void MoveAside(const fs::path& folder) {
  if (!fs::exists(folder)) return;
  static int moved = 0;
  fs::create_directories(TrashFolder());
  fs::path place;
  do {
    place = TrashFolder() / (std::to_string(::getpid()) + "-" + std::to_string(++moved));
  } while (fs::exists(place));
  fs::rename(folder, place);
  MovedSinceLastRun().push_back(place);
}

// Calls `fn` with a read-only descriptor of every file below `folder`.
template <class Fn>
void ForEachFile(const fs::path& folder, Fn&& fn) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    fn(fd);
    ::close(fd);
  }
}

// Drops the cached pages of every file below `folder` (written back already).
void EvictCachedPages(const fs::path& folder) {
  ForEachFile(folder, [](int fd) { ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED); });
}

// Reads every file below `folder` to its end.
void ReadThrough(const fs::path& folder) {
  std::vector<char> buffer(1 << 20);
  ForEachFile(folder, [&](int fd) {
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
  });
}

// Readies the machine for a timed run.
//
// First it commits what the registry's writer has not written yet: a save's completion comes
// before the last of its catalogue reaches the hive file, and that commit must not run beside
// the next timed run (it slowed the cp -a after each save by about a fifth, which flattered the
// save's ratio).
//
// Then it writes what earlier runs left in the page cache to the disk. The kernel of this
// build machine leaves gigabytes dirty for minutes and then writes them back, or throttles
// writers, in the middle of whatever runs then: each timed run starts with nothing dirty
// instead, so that it pays for its own writes only.
//
// Then it gives back the pages held by the copies moved aside since the last run. This machine
// is a virtual one whose memory is first touched when the page cache grows into it, and a first
// touch costs many times a copy into a page used before: without this, every run would write
// its copies into colder memory than the one before it (the third save of a row took twice the
// time of the first, all of it in the kernel's memcpy), and which benchmark ran first would
// decide the comparison. Each timed run writes into memory freed by the run before it instead;
// the files it reads stay cached.
//
// Then it reads the generated files that every run copies, so that each run finds them in the
// page cache: this machine's kernel reclaims pages it sees unused for a while, and after a pause
// the first run of a series read them from the disk (a `cp -a` of 2.7 s against 0.65 s).
//
// Last it touches and frees twice the memory that a run writes into. The host takes back memory
// that stays free for a few seconds, so even pages given back were cold again for the first run
// of a benchmark (nothing moved aside before it) and after any pause: the first `cp -a` of a
// series took twice the time of the next two.
void PrepareTimedRun() {
  RegFlushKey(HKEY_CURRENT_USER);
  ::sync();
  for (const fs::path& folder : MovedSinceLastRun()) EvictCachedPages(folder);
  MovedSinceLastRun().clear();
  ReadThrough(quillow::bench::GeneratedFolder(MachineFolder()));
  const size_t bytes = 2 * static_cast<size_t>(quillow::bench::GeneratedBytes(MachineShape{}));
  void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return;
  const long page = ::sysconf(_SC_PAGESIZE);
  for (size_t at = 0; at < bytes; at += static_cast<size_t>(page))
    static_cast<volatile char*>(memory)[at] = 1;
  ::munmap(memory, bytes);
}

// Runs a save to its end; returns its completion code (0: none came).
DWORD Save(const std::string& name) {
  quillow::CompletionWindow window;
  std::string error;
  if (!window.Start(&error)) return 0;
  if (SaveSSImage(window.window(), name.c_str(), "benchmark", 0) != SS_OK) return 0;
  DWORD code = 0;
  return window.WaitFor(&code, 3600 * 1000) ? code : 0;
}

// Runs a delete, or a date fixing, to its end; returns its completion code (0: none came).
DWORD Delete(const std::string& name) {
  quillow::CompletionWindow window;
  std::string error;
  if (!window.Start(&error)) return 0;
  if (DeleteSSImg(window.window(), name.c_str(), 0) != SS_OK) return 0;
  DWORD code = 0;
  return window.WaitFor(&code, 3600 * 1000) ? code : 0;
}

DWORD FixDates(LONG days, std::vector<SSRenameRecord>& pairs) {
  quillow::CompletionWindow window;
  std::string error;
  if (!window.Start(&error)) return 0;
  if (FixSSImgDates(window.window(), days, pairs.data(), 0) != SS_OK) return 0;
  DWORD code = 0;
  return window.WaitFor(&code, 3600 * 1000) ? code : 0;
}

// CPU seconds (user and system) of this process and of the children it has waited for.
double CpuSeconds() {
  double total = 0;
  for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage usage{};
    ::getrusage(who, &usage);
    for (const timeval& t : {usage.ru_utime, usage.ru_stime})
      total += static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  }
  return total;
}

// The start of a timed run.
struct RunStart {
  std::chrono::steady_clock::time_point time = std::chrono::steady_clock::now();
  double cpu = CpuSeconds();
};

// The time since `since`, which ends a timed run; with QUILLOW_BENCH_EACH=1 each run's time is
// also shown on stderr, since a mean hides a single run that this shared machine slowed down,
// with the CPU time all of the run's threads and waited-for programs used. The CPU time varies
// far less than the time on this machine: it tells whether a change of the code made the run
// cheaper when the times of two builds overlap.
double Seconds(const RunStart& since) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - since.time).count();
  if (EnvironmentSays("QUILLOW_BENCH_EACH"))
    std::fprintf(stderr, "  run: %.0f ms (cpu %.0f ms)\n", seconds * 1000,
                 (CpuSeconds() - since.cpu) * 1000);
  return seconds;
}

// Takes the current machine back to no snapshot: an empty store and a catalogue holding only the
// provisioned patterns. The user hive itself goes back to its copy as installed, so that a save
// does not copy the pages that the catalogues of earlier runs left in it; a machine generated
// without that copy has the catalogue's keys deleted instead.
void ResetStore() {
  // The store's folders as they are spelled on disk (a host path of another case names nothing,
  // and the copies of every earlier run would stay: the aliases of a new save would then be
  // probed past all of them).
  for (const char* folder : {"backup", "batch"}) {
    const std::string host = w98::HostPathOf(std::string(kStore) + folder);
    if (!host.empty()) MoveAside(host);
  }
  if (CopyFileA(quillow::bench::kInstalledUserHive, "C:\\WINDOWS\\USER.DAT", FALSE)) {
    Init(kStore);
    return;
  }
  HKEY key = nullptr;
  const std::string root = "Software\\Zemo\\Snapshot";
  for (const char* profile : {"cref.tab", "snapshot.ini\\Misc", "snapshot.ini\\LastOp"}) {
    RegDeleteKeyA(HKEY_CURRENT_USER, (root + "\\" + profile).c_str());
  }
  // Every other key below the root is a snapshot's control key.
  if (RegOpenKeyExA(HKEY_CURRENT_USER, root.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    std::vector<std::string> names;
    char name[512];
    for (DWORD i = 0;; ++i) {
      DWORD length = sizeof name;
      if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      if (std::string(name, length) != "snapshot.ini") names.emplace_back(name, length);
    }
    for (const std::string& n : names) RegDeleteKeyA(key, n.c_str());
    HKEY misc = nullptr;
    DWORD disposition = 0;
    const DWORD one = 1;
    for (const char* profile : {"snapshot.ini\\Misc", "cref.tab\\Misc"}) {
      if (RegCreateKeyExA(key, profile, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &misc,
                          &disposition) == ERROR_SUCCESS) {
        RegSetValueExA(misc, "Valid", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
        RegCloseKey(misc);
      }
    }
    RegFlushKey(key);
    RegCloseKey(key);
  }
  Init(kStore);
}

// Snapshot names "20240131.Snnn". The machine and its snapshots outlive a run, so a name is
// taken only when no listed snapshot has it: a save under a listed name would replace that
// snapshot (releasing its references first) instead of adding one.
int g_snapshot_number = 0;
std::string NextName() {
  std::vector<SSImgRecord> listed(static_cast<size_t>(GetSSImgCount()));
  listed.resize(static_cast<size_t>(ListSSImg("", listed.data())));
  std::set<std::string> taken;
  for (const SSImgRecord& record : listed) taken.insert(record.name);
  char name[32];
  for (int tries = 0; tries < 4096; ++tries) {
    g_snapshot_number = (g_snapshot_number + 1) % 4096;
    std::snprintf(name, sizeof name, "20240131.S%03X", g_snapshot_number);
    if (taken.count(name) == 0) break;
  }
  return name;
}

// A name that the snapshot list does not hold yet (saving under a listed name replaces it).
std::string FreshName() {
  for (int i = 0; i < 256; ++i) {
    const std::string name = NextName();
    SSImgRecord record{};
    if (ListSSImg(name.c_str(), &record) != 1) return name;
  }
  return NextName();
}

bool HasSnapshot() {
  return GetSSImgCount() > 0;
}

// One timed cp -a of the generated files into `target` (moved aside first); its time in
// seconds, or a negative time when cp failed.
double TimedCopy(const std::string& target) {
  const std::string source = quillow::bench::GeneratedFolder(MachineFolder());
  MoveAside(target);
  PrepareTimedRun();
  const RunStart start;
  const int rc = std::system(("cp -a '" + source + "' '" + target + "'").c_str());
  const double seconds = Seconds(start);
  return rc == 0 ? seconds : -1;
}

std::string CopyBaselineFolder() {
  return MachineFolder() + "/cp-baseline";
}

void BM_CopyBaseline(benchmark::State& state) {
  for (auto _ : state) {
    const double seconds = TimedCopy(CopyBaselineFolder());
    state.SetIterationTime(seconds < 0 ? 0 : seconds);
    if (seconds < 0) state.SkipWithError("cp -a failed");
  }
  MoveAside(CopyBaselineFolder());
  state.SetBytesProcessed(state.iterations() * quillow::bench::GeneratedBytes(MachineShape{}));
}

// Each run is paired with a cp -a of the same files just before it: the speed of this shared
// host drifts from minute to minute (a cp -a of these files has taken from 0.5 s to 2 s), and
// only a baseline measured beside the save gives a ratio that means something.
void BM_BaseSnapshot(benchmark::State& state) {
  double copy_seconds = 0;
  double save_seconds = 0;
  double commit_seconds = 0;
  for (auto _ : state) {
    const double copy = TimedCopy(CopyBaselineFolder());
    if (copy < 0) {
      state.SkipWithError("cp -a failed");
      break;
    }
    ResetStore();
    PrepareTimedRun();
    const RunStart start;
    const DWORD code = Save(NextName());
    const double seconds = Seconds(start);
    state.SetIterationTime(seconds);
    if (code != SS_SAVE_DONE) state.SkipWithError("the save failed");
    copy_seconds += copy;
    save_seconds += seconds;
    // The registry writes the last of the catalogue behind the completion, as it writes every
    // change; how long that takes is shown beside the save, not in its time.
    const auto commit_start = std::chrono::steady_clock::now();
    RegFlushKey(HKEY_CURRENT_USER);
    commit_seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - commit_start).count();
  }
  MoveAside(CopyBaselineFolder());
  state.SetBytesProcessed(state.iterations() * quillow::bench::GeneratedBytes(MachineShape{}));
  state.counters["files"] = GetSSFilesCount();
  if (copy_seconds > 0) {
    state.counters["cp_a_ms"] = copy_seconds * 1000 / static_cast<double>(state.iterations());
    state.counters["ratio_to_cp_a"] = save_seconds / copy_seconds;
  }
  state.counters["commit_after_ms"] =
      commit_seconds * 1000 /
      static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

// A second snapshot: each run starts from an empty store and a base snapshot (not timed), so
// the figure does not depend on how many snapshots earlier runs left on the machine.
void BM_UnchangedSnapshot(benchmark::State& state) {
  for (auto _ : state) {
    ResetStore();
    if (Save(NextName()) != SS_SAVE_DONE) {
      state.SkipWithError("the base snapshot failed");
      break;
    }
    const LONG stored_before = GetSSFilesCount();
    PrepareTimedRun();
    const RunStart start;
    const DWORD code = Save(NextName());
    state.SetIterationTime(Seconds(start));
    if (code != SS_SAVE_DONE) state.SkipWithError("the save failed");
    // Only the registry hive that holds the catalogue changes between two saves.
    state.counters["new_versions"] = GetSSFilesCount() - stored_before;
  }
}

void BM_GetSSImgInfo(benchmark::State& state) {
  if (!HasSnapshot() && Save(NextName()) != SS_SAVE_DONE) state.SkipWithError("no snapshot");
  SSImgRecord last{};
  std::vector<SSImgRecord> all(static_cast<size_t>(GetSSImgCount()));
  ListSSImg("", all.data());
  last = all.back();
  std::vector<SSFileRecord> records;
  for (auto _ : state) {
    const LONG count = GetSSImgInfoCount(last.name);
    records.resize(static_cast<size_t>(count));
    const LONG filled = GetSSImgInfo(records.data(), last.name);
    benchmark::DoNotOptimize(records.data());
    if (filled != count) state.SkipWithError("record count mismatch");
  }
  state.counters["files"] = static_cast<double>(records.size());
}

// Runs this program with `arguments` and waits for it; its exit code, or -1.
int RunSelf(const std::vector<std::string>& arguments) {
  const std::string self = BinFolder() + "/engine_bench";
  std::vector<char*> argv{const_cast<char*>(self.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The newest snapshot's name ("" when none).
std::string LastSnapshot() {
  const LONG count = GetSSImgCount();
  if (count <= 0) return {};
  std::vector<SSImgRecord> all(static_cast<size_t>(count));
  ListSSImg("", all.data());
  return all.back().name;
}

void BM_DeleteShared(benchmark::State& state) {
  if (!HasSnapshot() && Save(NextName()) != SS_SAVE_DONE) state.SkipWithError("no base snapshot");
  for (auto _ : state) {
    // A snapshot with nothing changed shares every version with the one before it.
    const std::string name = FreshName();
    const LONG stored = GetSSFilesCount();
    if (Save(name) != SS_SAVE_DONE) {
      state.SkipWithError("the save failed");
      break;
    }
    PrepareTimedRun();
    const RunStart start;
    const DWORD code = Delete(name);
    state.SetIterationTime(Seconds(start));
    if (code != SS_DELETE_DONE) state.SkipWithError("the delete failed");
    // The registry hive holding the catalogue changes between two saves: the new snapshot holds
    // its new version alone, and the delete removes that one.
    if (GetSSFilesCount() != stored) state.SkipWithError("a shared version was removed");
    state.counters["files"] = GetSSImgInfoCount(LastSnapshot().c_str());
  }
}

void BM_DeleteOwn(benchmark::State& state) {
  const fs::path store = w98::HostPathOf(kStore);
  const fs::path baseline = fs::path(MachineFolder()) / "rm-baseline";
  double rm_seconds = 0;
  for (auto _ : state) {
    ResetStore();
    const std::string name = NextName();
    if (Save(name) != SS_SAVE_DONE) {
      state.SkipWithError("the save failed");
      break;
    }
    const LONG files = GetSSImgInfoCount(name.c_str());
    // The baseline: rm -r of a copy of the same stored copies.
    fs::remove_all(baseline);
    if (std::system(
            ("cp -a '" + (store / "backup").string() + "' '" + baseline.string() + "'").c_str()) !=
        0) {
      state.SkipWithError("cp -a failed");
      break;
    }
    PrepareTimedRun();
    const RunStart rm_start;
    if (std::system(("rm -r '" + baseline.string() + "'").c_str()) != 0)
      state.SkipWithError("rm -r failed");
    rm_seconds = Seconds(rm_start);

    PrepareTimedRun();
    const RunStart start;
    const DWORD code = Delete(name);
    const double seconds = Seconds(start);
    state.SetIterationTime(seconds);
    if (code != SS_DELETE_DONE) state.SkipWithError("the delete failed");
    if (GetSSFilesCount() != 0) state.SkipWithError("stored versions were left");
    state.counters["files"] = files;
    state.counters["rm_r_ms"] = rm_seconds * 1000;
    state.counters["target_ms"] = (2 * rm_seconds + 1) * 1000;
  }
}

// "yyyymmdd" of a day counted from 1970-01-01.
std::string DayStamp(std::chrono::sys_days day) {
  const std::chrono::year_month_day date{day};
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02u%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

// Re-dating 50 snapshots of 1,000 files each (every snapshot holds the same 1,000 versions, so
// each version's reference list names all 50). Before each run the machine's clock is put 100
// days behind the newest snapshot, so every run re-dates all of them.
void BM_Redate(benchmark::State& state) {
  constexpr int kSnapshots = 50;
  MachineShape shape;
  shape.files = 1000;
  shape.mean_size = 4096;
  shape.folders = 20;
  const std::string machine = MachineFolder() + "-redate-1000";
  if (!fs::exists(fs::path(machine) / "machine.ini")) {
    fs::remove_all(machine);
    const std::string command = BinFolder() + "/quillow_genmachine '" + machine +
                                "' --files 1000 --mean-size 4096 >/dev/null";
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("cannot generate the machine");
      return;
    }
  }
  if (!w98::SelectMachine(machine)) {
    state.SkipWithError("cannot select the machine");
    return;
  }
  Init(kStore);
  if (GetSSImgCount() != kSnapshots) {
    ResetStore();
    const std::chrono::sys_days first = std::chrono::year{2030} / 1 / 1;
    for (int i = 0; i < kSnapshots && !state.error_occurred(); ++i)
      if (Save(DayStamp(first + std::chrono::days{i}) + ".S01") != SS_SAVE_DONE)
        state.SkipWithError("a save failed");
  }
  std::vector<SSRenameRecord> pairs(kSnapshots);
  for (auto _ : state) {
    // The clock 100 days behind the newest snapshot's date.
    const std::string newest = LastSnapshot();
    struct tm date {};
    date.tm_year = std::atoi(newest.substr(0, 4).c_str()) - 1900;
    date.tm_mon = std::atoi(newest.substr(4, 2).c_str()) - 1;
    date.tm_mday = std::atoi(newest.substr(6, 2).c_str()) - 100;
    date.tm_hour = 12;
    timegm(&date);  // normalises the fields
    SYSTEMTIME clock{};
    clock.wYear = static_cast<WORD>(date.tm_year + 1900);
    clock.wMonth = static_cast<WORD>(date.tm_mon + 1);
    clock.wDay = static_cast<WORD>(date.tm_mday);
    clock.wHour = 12;
    SetLocalTime(&clock);

    PrepareTimedRun();
    const RunStart start;
    const DWORD code = FixDates(1, pairs);
    state.SetIterationTime(Seconds(start));
    if (code != SS_FIXDATES_DONE) state.SkipWithError("the date fixing did not re-date");
  }
  state.counters["snapshots"] = GetSSImgCount();
  state.counters["files_each"] = GetSSImgInfoCount(LastSnapshot().c_str());
  state.counters["consistent"] = RollBack() == SS_OK ? 1 : 0;
  w98::SelectMachine(MachineFolder());
  Init(kStore);
}

// The peak resident memory of a save of a machine of `files` files of `mean_size` bytes, run in
// a process of its own (this program with --save-child), which reports its own peak.
//
// The child's own figure is the one that counts: the rusage that wait4 gives includes the
// children the save starts (the registry editor, which loads the whole hive), and Linux starts
// the maximum of a spawned process at the resident size of the parent it was spawned from (this
// process, which holds the big machine's catalogue), which hid every difference between saves.
void BM_SavePeakMemory(benchmark::State& state) {
  MachineShape shape;
  shape.files = static_cast<int>(state.range(0));
  shape.mean_size = state.range(1);
  shape.folders = 20;
  const std::string machine = MachineFolder() + "-mem-" + std::to_string(shape.files) + "-" +
                              std::to_string(shape.mean_size);
  if (!fs::exists(fs::path(machine) / "machine.ini")) {
    fs::remove_all(machine);
    std::string error;
    // Generated by a child of its own, since this process works on the big machine.
    const std::string command = BinFolder() + "/quillow_genmachine '" + machine + "' --files " +
                                std::to_string(shape.files) + " --mean-size " +
                                std::to_string(shape.mean_size) + " >/dev/null";
    if (std::system(command.c_str()) != 0) state.SkipWithError("cannot generate the machine");
  }
  const std::string report = machine + ".peak";
  long peak_kb = 0;
  for (auto _ : state) {
    // The store is reset by a child of its own, so that the save's child starts from an empty
    // catalogue whatever an earlier run left.
    fs::remove(report);
    if (RunSelf({"--reset-child", machine}) != 0) {
      state.SkipWithError("the child's reset failed");
      break;
    }
    if (RunSelf({"--save-child", machine, report}) != 0) {
      state.SkipWithError("the child's save failed");
      break;
    }
    std::FILE* in = std::fopen(report.c_str(), "r");
    if (in == nullptr || std::fscanf(in, "%ld", &peak_kb) != 1)
      state.SkipWithError("the child reported no peak");
    if (in != nullptr) std::fclose(in);
  }
  fs::remove(report);
  state.counters["peak_rss_MB"] = static_cast<double>(peak_kb) / 1024.0;
  state.counters["data_MB"] =
      static_cast<double>(quillow::bench::GeneratedBytes(shape)) / (1024.0 * 1024.0);
}

// The peak resident size of this process in kB (VmHWM: of this program image alone, since
// the memory of the process it was spawned from is not counted there), or -1.
long OwnPeakKb() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, status) != nullptr)
    if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
  std::fclose(status);
  return kb;
}

// --reset-child MACHINE: takes the machine's store back to no snapshot, then exits.
int RunResetChild(const std::string& machine) {
  if (!w98::SelectMachine(machine)) return 2;
  ResetStore();
  return 0;
}

// --save-child MACHINE REPORT: one save on a machine; writes the process's peak resident size
// in kB to the file REPORT, then exits.
int RunSaveChild(const std::string& machine, const std::string& report) {
  if (!w98::SelectMachine(machine)) return 2;
  Init(kStore);
  if (Save(NextName()) != SS_SAVE_DONE) return 1;
  std::FILE* out = std::fopen(report.c_str(), "w");
  if (out == nullptr) return 3;
  const bool written = std::fprintf(out, "%ld\n", OwnPeakKb()) > 0;
  return std::fclose(out) == 0 && written ? 0 : 3;
}

}  // namespace

BENCHMARK(BM_CopyBaseline)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BaseSnapshot)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_UnchangedSnapshot)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GetSSImgInfo)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_DeleteShared)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DeleteOwn)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Redate)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SavePeakMemory)
    ->Args({1000, 4096})
    ->Args({1000, 262144})
    ->Args({4000, 4096})
    ->Args({8000, 4096})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--reset-child") return RunResetChild(argv[2]);
  if (argc == 4 && std::string(argv[1]) == "--save-child") return RunSaveChild(argv[2], argv[3]);
  const std::string machine = MachineFolder();
  if (!fs::exists(fs::path(machine) / "machine.ini")) {
    std::fprintf(stderr, "generating the benchmark machine in %s ...\n", machine.c_str());
    fs::remove_all(machine);
    std::string error;
    if (!quillow::bench::GenerateMachine(machine, MachineShape{}, BinFolder(), &error)) {
      std::fprintf(stderr, "engine_bench: %s\n", error.c_str());
      return 1;
    }
  }
  if (!w98::SelectMachine(machine)) {
    std::fprintf(stderr, "engine_bench: %s is not a machine\n", machine.c_str());
    return 1;
  }
  Init(kStore);
  WaitForQuietInodes();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  DeleteTrash();
  return 0;
}
