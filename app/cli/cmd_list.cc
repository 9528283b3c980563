// quillow list: the snapshots, in the order they were taken.
#include <cstdio>

#include "cli.h"
#include "output.h"
#include "records.h"

namespace quillow {
namespace {

int RunList(const Invocation& invocation) {
  if (!invocation.args.empty()) return Fail("usage: quillow list", 2);
  EngineLibrary engine;
  std::string error;
  if (!OpenEngine(engine, &error)) return Fail(error);
  const std::vector<SnapshotInfo> snapshots = ListSnapshots(engine);

  if (invocation.json) {
    Json json;
    json.BeginObject().Key("snapshots").BeginArray();
    for (const SnapshotInfo& s : snapshots) {
      json.BeginObject()
          .Field("name", s.name)
          .Field("imageName", s.image_name)
          .Field("comments", s.comments)
          .Field("date", s.date)
          .Field("time", s.time)
          .Field("valid", s.valid != 0)
          .Field("kernelFiles", s.kernel_files)
          .Field("userFiles", s.user_files)
          .EndObject();
    }
    json.EndArray().EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  if (snapshots.empty()) {
    std::printf("No snapshots.\n");
    return 0;
  }
  Table table({"Snapshot", "Taken", "Files", "Kernel", "User", "State", "Comments"});
  for (const SnapshotInfo& s : snapshots) {
    table.Add({s.name, PeopleDate(s.date) + " " + PeopleTime(s.time),
               std::to_string(s.kernel_files + s.user_files), std::to_string(s.kernel_files),
               std::to_string(s.user_files), s.valid != 0 ? "complete" : "INCOMPLETE", s.comments});
  }
  std::printf("%s%zu snapshot%s.\n", table.Render().c_str(), snapshots.size(),
              snapshots.size() == 1 ? "" : "s");
  return 0;
}

}  // namespace

QUILLOW_COMMAND("list", "list                       the snapshots, in the order they were taken",
                RunList);

}  // namespace quillow
