// quillow fixdates [DAYS]: after the clock was put back, moves the snapshots' dates back so
// that the latest falls DAYS days (default 1, as the main program asks) before now.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "cli.h"
#include "date_entries.h"
#include "engine_start.h"
#include "output.h"
#include "records.h"
#include "worker_run.h"

namespace quillow {
namespace {

constexpr char kUsage[] = "usage: quillow fixdates [DAYS]";

bool ParseDays(const std::string& text, LONG* days) {
  if (text.empty() || text.size() > 6) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  *days = static_cast<LONG>(std::atol(text.c_str()));
  return true;
}

int RunFixDates(const Invocation& invocation) {
  if (invocation.args.size() > 1) return Fail(kUsage, 2);
  LONG days = 1;
  if (!invocation.args.empty() && !ParseDays(invocation.args[0], &days))
    return Fail("DAYS is a whole number of days (at most 999999)", 2);

  EngineLibrary engine;
  if (const int failed = StartConsistentEngine(engine)) return failed;
  // One entry per listed snapshot, zero-filled, as the main program provides them, and room for
  // snapshots that a save in another process may add before the worker takes the catalogue:
  // the worker fills one entry per snapshot it finds and cannot know the array's size.
  constexpr LONG kHeadroom = 256;
  const LONG count = engine.GetSSImgCount();
  std::vector<SSRenameRecord> pairs(static_cast<size_t>((count > 0 ? count : 0) + kHeadroom));
  const WorkerOutcome run =
      RunWorker([&](HWND window) { return engine.FixSSImgDates(window, days, pairs.data(), 0); },
                "Re-dating the snapshots");
  if (!run.error.empty()) return Fail(run.error);
  if (!run.started)
    return Fail("the date fixing could not start: " + StatusMeaning(run.start_status));
  if (run.code != SS_FIXDATES_DONE && run.code != SS_FIXDATES_NOTHING)
    return Fail("the date fixing failed with status " + std::to_string(run.code) +
                    "; \"quillow rollback\" puts the catalogue back",
                static_cast<int>(run.code));

  std::vector<std::pair<std::string, std::string>> renamed;
  if (run.code == SS_FIXDATES_DONE) {
    for (const SSRenameRecord& pair : pairs) {
      if (pair.oldName[0] == '\0') break;
      renamed.emplace_back(std::string(pair.oldName, strnlen(pair.oldName, SS_TEXT_FIELD)),
                           std::string(pair.newName, strnlen(pair.newName, SS_TEXT_FIELD)));
    }
    if (!RenameDateEntries(renamed))
      std::fprintf(stderr, "quillow: warning: sswizard.ini could not be updated\n");
  }

  if (invocation.json) {
    Json json;
    json.BeginObject()
        .Field("status", static_cast<int64_t>(run.code))
        .Field("days", static_cast<int64_t>(days))
        .Key("renamed")
        .BeginArray();
    for (const auto& [old_name, new_name] : renamed)
      json.BeginObject().Field("old", old_name).Field("new", new_name).EndObject();
    json.EndArray().EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  if (run.code == SS_FIXDATES_NOTHING) {
    std::printf("Nothing to re-date: no snapshot is dated after %d day%s before now.\n",
                static_cast<int>(days), days == 1 ? "" : "s");
    return 0;
  }
  for (const auto& [old_name, new_name] : renamed)
    std::printf("%s -> %s\n", old_name.c_str(), new_name.c_str());
  std::printf("Re-dated %zu snapshot%s.\n", renamed.size(), renamed.size() == 1 ? "" : "s");
  return 0;
}

}  // namespace

QUILLOW_COMMAND("fixdates",
                "fixdates [DAYS]            re-date the snapshots after the clock was put back",
                RunFixDates);

}  // namespace quillow
