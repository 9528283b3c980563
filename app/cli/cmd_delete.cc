// quillow delete NAME: takes one snapshot out of the store, with the stored versions that only
// it held.
#include <cstdio>

#include "cli.h"
#include "engine_start.h"
#include "output.h"
#include "records.h"
#include "worker_run.h"

namespace quillow {
namespace {

int RunDelete(const Invocation& invocation) {
  if (invocation.args.size() != 1) return Fail("usage: quillow delete NAME", 2);
  const std::string& name = invocation.args[0];

  EngineLibrary engine;
  if (const int failed = StartConsistentEngine(engine)) return failed;
  if (const int failed = RequireListed(engine, name)) return failed;

  const LONG versions_before = engine.GetSSFilesCount();
  const WorkerOutcome run = RunWorker(
      [&](HWND window) { return engine.DeleteSSImg(window, name.c_str(), 0); }, "Deleting " + name);
  if (!run.error.empty()) return Fail(run.error);
  if (!run.started) return Fail("the delete could not start: " + StatusMeaning(run.start_status));
  if (run.code != SS_DELETE_DONE)
    return Fail("the delete of " + name + " failed with status " + std::to_string(run.code) +
                    "; \"quillow rollback\" repairs the catalogue",
                static_cast<int>(run.code));

  const LONG removed = versions_before - engine.GetSSFilesCount();
  const LONG left = engine.GetSSImgCount();
  if (invocation.json) {
    Json json;
    json.BeginObject()
        .Field("name", name)
        .Field("status", static_cast<int64_t>(run.code))
        .Field("removedVersions", static_cast<int64_t>(removed))
        .Field("snapshotsLeft", static_cast<int64_t>(left))
        .Field("seconds", static_cast<int64_t>(run.seconds + 0.5))
        .EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  std::printf("Deleted %s: %d stored version%s removed, %d snapshot%s left, in %.1f s.\n",
              name.c_str(), static_cast<int>(removed), removed == 1 ? "" : "s",
              static_cast<int>(left), left == 1 ? "" : "s", run.seconds);
  return 0;
}

}  // namespace

QUILLOW_COMMAND("delete", "delete NAME                delete a snapshot", RunDelete);

}  // namespace quillow
