// quillow check: the engine's consistency check, then every invariant of the store.
#include <cstdio>

#include "cli.h"
#include "output.h"
#include "records.h"
#include "store_check.h"

namespace quillow {
namespace {

constexpr size_t kShownProblems = 10;

int RunCheck(const Invocation& invocation) {
  if (!invocation.args.empty()) return Fail("usage: quillow check", 2);
  EngineLibrary engine;
  std::string error;
  if (!engine.Load(&error)) return Fail(error);
  const LONG consistency = engine.init_status();
  const std::vector<InvariantResult> results = CheckStore(kStoreFolder);
  bool all_hold = consistency == SS_OK;
  for (const InvariantResult& result : results) all_hold = all_hold && result.holds();

  if (invocation.json) {
    Json json;
    json.BeginObject()
        .Key("consistency")
        .BeginObject()
        .Field("status", static_cast<int64_t>(consistency))
        .Field("meaning", StatusMeaning(consistency))
        .EndObject()
        .Key("invariants")
        .BeginArray();
    for (const InvariantResult& result : results) {
      json.BeginObject()
          .Field("name", result.name)
          .Field("statement", result.statement)
          .Field("holds", result.holds())
          .Field("checked", static_cast<int64_t>(result.checked))
          .Key("problems")
          .BeginArray();
      for (const std::string& problem : result.problems) json.String(problem);
      json.EndArray().Key("notes").BeginArray();
      for (const std::string& note : result.notes) json.String(note);
      json.EndArray().EndObject();
    }
    json.EndArray().Field("ok", all_hold).EndObject();
    std::printf("%s\n", json.text().c_str());
    return all_hold ? 0 : 1;
  }

  std::printf("Consistency check: %d (%s)\n\n", static_cast<int>(consistency),
              StatusMeaning(consistency).c_str());
  for (const InvariantResult& result : results) {
    std::printf("%-6s %s: %s (%zu checked)\n", result.holds() ? "ok" : "FAILED",
                result.name.c_str(), result.statement.c_str(), result.checked);
    for (size_t i = 0; i < result.problems.size() && i < kShownProblems; ++i)
      std::printf("         - %s\n", result.problems[i].c_str());
    for (const std::string& note : result.notes) std::printf("         note: %s\n", note.c_str());
    if (result.problems.size() > kShownProblems)
      std::printf("         ... and %zu more\n", result.problems.size() - kShownProblems);
  }
  std::printf("\n%s\n", all_hold ? "The store is consistent." : "The store is NOT consistent.");
  return all_hold ? 0 : 1;
}

}  // namespace

QUILLOW_COMMAND("check",
                "check                      the consistency check and the store's invariants",
                RunCheck);

}  // namespace quillow
