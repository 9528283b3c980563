// Benchmarks of the engine on a generated machine of 10,000 provisioned files (about 400 MB):
//   - cp -a of the generated files (the baseline of the base snapshot),
//   - the base snapshot (target: within 1.3 times the baseline),
//   - a second snapshot with nothing changed (target: 1 s or less),
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
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
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

double Seconds(const std::chrono::steady_clock::time_point& since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Takes the machine back to no snapshot: an empty store and a catalogue holding only the
// provisioned patterns.
void ResetStore(const std::string& machine) {
  // The store's host folder keeps the case the installation gave it.
  (void)machine;
  const fs::path store = w98::HostPathOf(kStore);
  fs::remove_all(store / "backup");
  fs::remove_all(store / "batch");
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

int g_snapshot_number = 0;
std::string NextName() {
  char name[32];
  std::snprintf(name, sizeof name, "20240131.S%02X", ++g_snapshot_number % 256);
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

void BM_CopyBaseline(benchmark::State& state) {
  const std::string source = quillow::bench::GeneratedFolder(MachineFolder());
  const std::string target = MachineFolder() + "/cp-baseline";
  for (auto _ : state) {
    fs::remove_all(target);
    const auto start = std::chrono::steady_clock::now();
    const int rc = std::system(("cp -a '" + source + "' '" + target + "'").c_str());
    state.SetIterationTime(Seconds(start));
    if (rc != 0) state.SkipWithError("cp -a failed");
  }
  fs::remove_all(target);
  state.SetBytesProcessed(state.iterations() * quillow::bench::GeneratedBytes(MachineShape{}));
}

void BM_BaseSnapshot(benchmark::State& state) {
  for (auto _ : state) {
    ResetStore(MachineFolder());
    const auto start = std::chrono::steady_clock::now();
    const DWORD code = Save(NextName());
    state.SetIterationTime(Seconds(start));
    if (code != SS_SAVE_DONE) state.SkipWithError("the save failed");
  }
  state.SetBytesProcessed(state.iterations() * quillow::bench::GeneratedBytes(MachineShape{}));
  state.counters["files"] = GetSSFilesCount();
}

void BM_UnchangedSnapshot(benchmark::State& state) {
  if (!HasSnapshot() && Save(NextName()) != SS_SAVE_DONE) state.SkipWithError("no base snapshot");
  for (auto _ : state) {
    const LONG stored_before = GetSSFilesCount();
    const auto start = std::chrono::steady_clock::now();
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
    const auto start = std::chrono::steady_clock::now();
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
    ResetStore(MachineFolder());
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
    std::system("sync");
    const auto rm_start = std::chrono::steady_clock::now();
    if (std::system(("rm -r '" + baseline.string() + "'").c_str()) != 0)
      state.SkipWithError("rm -r failed");
    rm_seconds = Seconds(rm_start);

    const auto start = std::chrono::steady_clock::now();
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
    ResetStore(machine);
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

    const auto start = std::chrono::steady_clock::now();
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
// a process of its own (this program with --save-child).
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
  long peak_kb = 0;
  for (auto _ : state) {
    const std::string self = BinFolder() + "/engine_bench";
    char* argv[] = {const_cast<char*>(self.c_str()), const_cast<char*>("--save-child"),
                    const_cast<char*>(machine.c_str()), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, environ) != 0) {
      state.SkipWithError("cannot start the child");
      break;
    }
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      state.SkipWithError("the child's save failed");
    peak_kb = usage.ru_maxrss;
  }
  state.counters["peak_rss_MB"] = static_cast<double>(peak_kb) / 1024.0;
  state.counters["data_MB"] =
      static_cast<double>(quillow::bench::GeneratedBytes(shape)) / (1024.0 * 1024.0);
}

// --save-child MACHINE: one save on a machine (its store reset first), then exit.
int RunSaveChild(const std::string& machine) {
  if (!w98::SelectMachine(machine)) return 2;
  ResetStore(machine);
  return Save("20240131.S01") == SS_SAVE_DONE ? 0 : 1;
}

}  // namespace

BENCHMARK(BM_CopyBaseline)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BaseSnapshot)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_UnchangedSnapshot)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
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
  if (argc == 3 && std::string(argv[1]) == "--save-child") return RunSaveChild(argv[2]);
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
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
