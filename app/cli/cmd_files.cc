// quillow files NAME: the files of one snapshot, kernel files first.
#include <algorithm>
#include <cstdio>

#include "cli.h"
#include "output.h"
#include "records.h"

namespace quillow {
namespace {

int RunFiles(const Invocation& invocation) {
  if (invocation.args.size() != 1) return Fail("usage: quillow files NAME", 2);
  const std::string& name = invocation.args[0];
  EngineLibrary engine;
  std::string error;
  if (!OpenEngine(engine, &error)) return Fail(error);

  SSImgRecord record{};
  if (engine.ListSSImg(name.c_str(), &record) != 1)
    return Fail("no snapshot named \"" + name + "\" (see \"quillow list\")");
  const int kernel = record.kernelFileCount;
  const std::vector<FileVersionInfo> files = SnapshotFiles(engine, name);

  if (invocation.json) {
    Json json;
    json.BeginObject().Field("snapshot", name).Key("files").BeginArray();
    for (size_t i = 0; i < files.size(); ++i) {
      const FileVersionInfo& f = files[i];
      json.BeginObject()
          .Field("key", f.key)
          .Field("path", f.source_folder + f.source_name)
          .Field("kind", static_cast<int>(i) < kernel ? "kernel" : "user")
          .Field("size", f.size)
          .Field("date", f.date)
          .Field("time", f.time)
          .Field("attributes", f.attributes)
          .Field("version", f.version)
          .Field("stored", !f.alias.empty())
          .Field("storedCopy", f.alias.empty() ? std::string() : f.store_path + f.alias)
          .EndObject();
    }
    json.EndArray().EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  Table table({"File", "Phase", "Size", "Last written", "Attributes", "Version", "Stored as"});
  int missing = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    const FileVersionInfo& f = files[i];
    std::string path = f.source_folder + f.source_name;
    if (f.alias.empty()) {
      // Listed without a stored version: its copy failed when the snapshot was taken.
      path = f.key.substr(0, f.key.find('|'));
      ++missing;
    }
    table.Add({path, static_cast<int>(i) < kernel ? "boot" : "windows", Grouped(f.size),
               PeopleDate(f.date) + " " + PeopleTime(f.time), f.attributes, f.version,
               f.alias.empty() ? "(not stored)" : f.alias});
  }
  std::printf(
      "Snapshot %s: %zu file%s (%d restored in the boot phase, %zu in Windows)\n\n", name.c_str(),
      files.size(), files.size() == 1 ? "" : "s", kernel,
      files.size() - static_cast<size_t>(std::min<int>(kernel, static_cast<int>(files.size()))));
  if (!files.empty()) std::printf("%s", table.Render().c_str());
  if (missing > 0)
    std::printf("%d file%s could not be stored.\n", missing, missing == 1 ? "" : "s");
  return 0;
}

}  // namespace

QUILLOW_COMMAND("files", "files NAME                 the files of a snapshot", RunFiles);

}  // namespace quillow
