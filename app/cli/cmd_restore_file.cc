// quillow restore-file NAME FILE [--close] [--mode 0|1|2]: adds one file of a snapshot to the
// single-file restore session; --close also stages the session for the next restart.
#include <cstdio>

#include "cli.h"
#include "output.h"
#include "records.h"
#include "restore_settings.h"

namespace quillow {
namespace {

constexpr char kUsage[] = "usage: quillow restore-file NAME FILE [--close] [--mode 0|1|2]";

int RunRestoreFile(const Invocation& invocation) {
  std::vector<std::string> args = invocation.args;
  const bool close = TakeFlag(args, "--close");
  std::string mode_text = "1", error;
  TakeOption(args, "--mode", &mode_text, &error);
  if (!error.empty()) return Fail(error, 2);
  if (mode_text != "0" && mode_text != "1" && mode_text != "2")
    return Fail("--mode is 0 (/QH), 1 (/QN) or 2 (/QL)", 2);
  if (args.size() != 2) return Fail(kUsage, 2);
  const std::string& name = args[0];
  const std::string& file = args[1];
  const int mode = mode_text[0] - '0';

  EngineLibrary engine;
  if (!OpenEngine(engine, &error)) return Fail(error);
  SSImgRecord record{};
  if (engine.ListSSImg(name.c_str(), &record) != 1)
    return Fail("no snapshot named \"" + name + "\" (see \"quillow list\")");
  // The version the session restores: the first of that name, kernel files first.
  const FileVersionInfo* restored = nullptr;
  const std::vector<FileVersionInfo> files = SnapshotFiles(engine, name);
  for (const FileVersionInfo& f : files) {
    if (f.source_name == file && !f.alias.empty()) {
      restored = &f;
      break;
    }
  }

  const LONG status = engine.RestoreSSFile(name.c_str(), file.c_str(), close ? 1 : 0, mode);
  if (status != SS_OK)
    return Fail("the single-file restore " + std::string(close ? "could not be staged" : "failed") +
                ": " + StatusMeaning(status) + " (" + std::to_string(status) + ")");

  const std::string path =
      restored != nullptr ? restored->source_folder + restored->source_name : "";
  if (invocation.json) {
    Json json;
    json.BeginObject()
        .Field("name", name)
        .Field("file", file)
        .Field("added", restored != nullptr)
        .Field("path", path)
        .Field("closed", close)
        .Field("switch", RestartSwitchOf(mode))
        .Field("status", static_cast<int64_t>(status))
        .EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  if (restored != nullptr)
    std::printf("Added %s of %s to the single-file restore session.\n", path.c_str(), name.c_str());
  else
    std::printf("%s holds no stored file named %s: the session got no file from this call.\n",
                name.c_str(), file.c_str());
  if (close)
    std::printf("Session closed and staged (restart switch %s): the restart restores its files.\n",
                RestartSwitchOf(mode).c_str());
  else
    std::printf("The session stays open: add more files, then close it with --close.\n");
  return 0;
}

}  // namespace

QUILLOW_COMMAND("restore-file",
                "restore-file NAME FILE [--close] [--mode 0|1|2]  restore single files at the "
                "next restart",
                RunRestoreFile);

}  // namespace quillow
