// quillow save [NAME] [--comment TEXT]: takes a snapshot and shows its progress.
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include <w98/windows.h>

#include "catalogue_access.h"
#include "cli.h"
#include "completion_window.h"
#include "engine_start.h"
#include "output.h"
#include "records.h"
#include "snapshot_naming.h"

namespace quillow {
namespace {

// How many files the provisioned patterns find now: the number the save will go through.
int CountPatternFiles() {
  namespace c = catalogue;
  std::vector<std::string> patterns =
      c::ReadList("snapshot.ini", "BackupList", "RootFileTypeCount", "RootFileType", 0);
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, sizeof windows);
  for (const std::string& p :
       c::ReadList("snapshot.ini", "BackupList", "WinFileTypeCount", "WinFileType", 0))
    patterns.push_back(windows + p);
  int count = 0;
  for (const std::string& pattern : patterns) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  return count;
}

// Shows "Saving NAME: n of m files" on stderr while the worker runs: rewritten in place on a
// terminal, a line every few seconds otherwise.
class Progress {
 public:
  Progress(const EngineLibrary& engine, std::string name, int expected)
      : engine_(engine),
        name_(std::move(name)),
        expected_(expected),
        terminal_(isatty(STDERR_FILENO) != 0),
        started_(std::chrono::steady_clock::now()) {}

  void Tick() {
    const auto now = std::chrono::steady_clock::now();
    if (!terminal_ && now - last_line_ < std::chrono::seconds(3)) return;
    last_line_ = now;
    const LONG done = engine_.GetSSImgInfoCount(name_.c_str());
    const double seconds = std::chrono::duration<double>(now - started_).count();
    std::fprintf(stderr, "%sSaving %s: %d of %d files (%.0f s)%s", terminal_ ? "\r" : "",
                 name_.c_str(), static_cast<int>(done), expected_, seconds,
                 terminal_ ? "   " : "\n");
    shown_ = true;
  }
  void Done() {
    if (shown_ && terminal_) std::fprintf(stderr, "\n");
  }

 private:
  const EngineLibrary& engine_;
  const std::string name_;
  const int expected_;
  const bool terminal_;
  const std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_line_{};
  bool shown_ = false;
};

int RunSave(const Invocation& invocation) {
  std::vector<std::string> args = invocation.args;
  std::string comment, error;
  TakeOption(args, "--comment", &comment, &error);
  if (!error.empty()) return Fail(error, 2);
  if (args.size() > 1) return Fail("usage: quillow save [NAME] [--comment TEXT]", 2);

  EngineLibrary engine;
  if (const int failed = StartConsistentEngine(engine)) return failed;
  const std::string stamp = TodayStamp();
  const std::string name =
      args.empty() ? stamp + ".S" + NextSnapshotNumber(ListSnapshots(engine), stamp) : args[0];
  if (name.size() < 10)
    return Fail("a snapshot name has at least ten characters (yyyymmdd.Snn)", 2);

  const int expected = CountPatternFiles();
  const LONG versions_before = engine.GetSSFilesCount();
  CompletionWindow window;
  if (!window.Start(&error)) return Fail(error);
  const auto started = std::chrono::steady_clock::now();
  const LONG started_status = engine.SaveSSImage(window.window(), name.c_str(), comment.c_str(), 0);
  if (started_status != SS_OK)
    return Fail("the save could not start: " + StatusMeaning(started_status), 1);
  Progress progress(engine, name, expected);
  const DWORD code = window.Wait([&] { progress.Tick(); }, 250);
  progress.Done();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (code != SS_SAVE_DONE)
    return Fail("the save of " + name + " failed with status " + std::to_string(code) + ": " +
                    StatusMeaning(static_cast<LONG>(code)),
                static_cast<int>(code));

  SSImgRecord record{};
  engine.ListSSImg(name.c_str(), &record);
  const LONG stored = engine.GetSSFilesCount() - versions_before;
  const int files = record.kernelFileCount + record.userFileCount;
  if (invocation.json) {
    Json json;
    json.BeginObject()
        .Field("name", name)
        .Field("status", static_cast<int64_t>(code))
        .Field("files", files)
        .Field("kernelFiles", record.kernelFileCount)
        .Field("userFiles", record.userFileCount)
        .Field("newVersions", static_cast<int64_t>(stored))
        .Field("seconds", static_cast<int64_t>(seconds + 0.5))
        .EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  std::printf(
      "Saved %s: %d files (%d boot phase, %d Windows), %d new version%s stored, "
      "the rest shared, in %.1f s.\n",
      name.c_str(), files, record.kernelFileCount, record.userFileCount, static_cast<int>(stored),
      stored == 1 ? "" : "s", seconds);
  return 0;
}

}  // namespace

QUILLOW_COMMAND("save", "save [NAME] [--comment T]  take a snapshot (default name: today's next)",
                RunSave);

}  // namespace quillow
