// quillow stored [FILENAME]: the stored file versions, optionally of one file name.
#include <cstdio>

#include "cli.h"
#include "output.h"
#include "records.h"

namespace quillow {
namespace {

int RunStored(const Invocation& invocation) {
  if (invocation.args.size() > 1) return Fail("usage: quillow stored [FILENAME]", 2);
  const std::string filter = invocation.args.empty() ? std::string() : invocation.args[0];
  EngineLibrary engine;
  std::string error;
  if (!OpenEngine(engine, &error)) return Fail(error);
  const std::vector<FileVersionInfo> versions = StoredVersions(engine, filter);

  if (invocation.json) {
    Json json;
    json.BeginObject().Field("filter", filter).Key("versions").BeginArray();
    for (const FileVersionInfo& v : versions) {
      json.BeginObject()
          .Field("key", v.key)
          .Field("path", v.source_folder + v.source_name)
          .Field("size", v.size)
          .Field("date", v.date)
          .Field("time", v.time)
          .Field("attributes", v.attributes)
          .Field("version", v.version)
          .Field("storedCopy", v.store_path + v.alias)
          .Field("lastSnapshot", v.last_snapshot)
          .EndObject();
    }
    json.EndArray().EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  if (versions.empty()) {
    std::printf(filter.empty() ? "No stored versions.\n" : "No stored version of %s.\n",
                filter.c_str());
    return 0;
  }
  Table table({"File", "Size", "Last written", "Version", "Stored as", "Last snapshot"});
  int64_t bytes = 0;
  for (const FileVersionInfo& v : versions) {
    table.Add({v.source_folder + v.source_name, Grouped(v.size),
               PeopleDate(v.date) + " " + PeopleTime(v.time), v.version, v.alias, v.last_snapshot});
    bytes += static_cast<uint32_t>(v.size);
  }
  std::printf("%s%zu stored version%s, %s bytes.\n", table.Render().c_str(), versions.size(),
              versions.size() == 1 ? "" : "s", Grouped(bytes).c_str());
  return 0;
}

}  // namespace

QUILLOW_COMMAND("stored", "stored [FILENAME]          the stored file versions (of one file name)",
                RunStored);

}  // namespace quillow
