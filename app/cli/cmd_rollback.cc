// quillow rollback: finishes an operation of the engine that was interrupted, as the main
// program's clean-up does at start-up: the consistency check tells which one; a date fixing is
// rolled back; a delete or a save is rolled back and its half-deleted or half-made snapshot then
// deleted.
#include <cstdio>

#include "catalogue_access.h"
#include "cli.h"
#include "output.h"
#include "records.h"
#include "worker_run.h"

namespace quillow {
namespace {

struct Repair {
  std::string operation;  // "none", "DELETE", "FIXDATE", "SAVE"
  std::string snapshot;   // the snapshot deleted afterwards, if any
  LONG rollback = 0;      // the roll-back's result
  DWORD deleted = 0;      // the delete's completion code, 0 when none ran
};

// The name the interrupted save or delete left in LastOp.
std::string InterruptedName(const char* value) {
  return catalogue::ReadText("snapshot.ini", "LastOp", value).value_or("");
}

// Deletes the snapshot the interrupted operation left behind; the completion code, or the
// start status when the worker did not start.
DWORD DeleteLeftOver(const EngineLibrary& engine, const std::string& name) {
  const WorkerOutcome run = RunWorker(
      [&](HWND window) { return engine.DeleteSSImg(window, name.c_str(), 0); }, "Deleting " + name);
  if (!run.error.empty()) {
    std::fprintf(stderr, "quillow: %s\n", run.error.c_str());
    return SS_WORKER_NOT_CREATED;
  }
  return run.started ? run.code : static_cast<DWORD>(run.start_status);
}

int RunRollback(const Invocation& invocation) {
  if (!invocation.args.empty()) return Fail("usage: quillow rollback", 2);
  EngineLibrary engine;
  std::string error;
  if (!engine.Load(&error)) return Fail(error);
  const LONG found = engine.init_status();

  Repair repair;
  switch (found) {
    case SS_OK:
      repair.operation = "none";
      break;
    case SS_INTERRUPTED_FIXDATES:
      repair.operation = "FIXDATE";
      repair.rollback = engine.RollBackFixDates();
      if (repair.rollback != SS_OK)
        return Fail("the interrupted date fixing could not be rolled back: " +
                    StatusMeaning(repair.rollback) + " (" + std::to_string(repair.rollback) + ")");
      break;
    case SS_INTERRUPTED_DELETE:
    case SS_INTERRUPTED_SAVE: {
      const bool save = found == SS_INTERRUPTED_SAVE;
      repair.operation = save ? "SAVE" : "DELETE";
      repair.snapshot = InterruptedName(save ? "saveimage" : "deleteimage");
      if (repair.snapshot.empty())
        return Fail(std::string("an interrupted ") + (save ? "save" : "delete") +
                    " is recorded without the name of its snapshot; it cannot be finished");
      repair.rollback = save ? engine.RollBackSave() : engine.RollBackDelete();
      if (repair.rollback != SS_OK)
        return Fail("the roll-back failed with status " + std::to_string(repair.rollback));
      repair.deleted = DeleteLeftOver(engine, repair.snapshot);
      if (repair.deleted != SS_DELETE_DONE)
        return Fail("the " + std::string(save ? "half-made" : "half-deleted") + " snapshot " +
                    repair.snapshot + " could not be deleted (status " +
                    std::to_string(repair.deleted) + ")");
      break;
    }
    default:
      return Fail(StatusMeaning(found) + " (" + std::to_string(found) +
                      "): there is nothing to roll back; see \"quillow check\"",
                  1);
  }
  const LONG now = engine.RollBack();

  if (invocation.json) {
    Json json;
    json.BeginObject()
        .Field("found", static_cast<int64_t>(found))
        .Field("operation", repair.operation)
        .Field("snapshot", repair.snapshot)
        .Field("rollback", static_cast<int64_t>(repair.rollback))
        .Field("deleted", static_cast<int64_t>(repair.deleted))
        .Field("status", static_cast<int64_t>(now))
        .EndObject();
    std::printf("%s\n", json.text().c_str());
  } else if (found == SS_OK) {
    std::printf("Nothing to roll back: the catalogue is consistent.\n");
  } else {
    std::printf("Found: %s (%d).\n", StatusMeaning(found).c_str(), static_cast<int>(found));
    if (found == SS_INTERRUPTED_FIXDATES)
      std::printf("Rolled back the date fixing: the snapshots keep their old names.\n");
    else
      std::printf("Rolled back the %s and deleted the %s snapshot %s.\n",
                  found == SS_INTERRUPTED_SAVE ? "save" : "delete",
                  found == SS_INTERRUPTED_SAVE ? "half-made" : "half-deleted",
                  repair.snapshot.c_str());
    std::printf("The catalogue is now: %s (%d).\n", StatusMeaning(now).c_str(),
                static_cast<int>(now));
  }
  return now == SS_OK ? 0 : 1;
}

}  // namespace

QUILLOW_COMMAND("rollback",
                "rollback                   finish an interrupted save, delete or date fixing",
                RunRollback);

}  // namespace quillow
