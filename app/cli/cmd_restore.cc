// quillow restore NAME [--mode 0|1|2] [--restart]: stages the restore of a whole snapshot and
// records it as pending, as the main program does; the restart finishes it.
#include <cstdio>

#include <w98/windows.h>

#include "cli.h"
#include "engine_start.h"
#include "output.h"
#include "records.h"
#include "restore_settings.h"

namespace quillow {
namespace {

constexpr char kUsage[] = "usage: quillow restore NAME [--mode 0|1|2] [--restart]";

int RunRestore(const Invocation& invocation) {
  std::vector<std::string> args = invocation.args;
  const bool restart = TakeFlag(args, "--restart");
  std::string mode_text = "1", error;
  TakeOption(args, "--mode", &mode_text, &error);
  if (!error.empty()) return Fail(error, 2);
  if (mode_text != "0" && mode_text != "1" && mode_text != "2")
    return Fail("--mode is 0 (/QH), 1 (/QN) or 2 (/QL)", 2);
  if (args.size() != 1) return Fail(kUsage, 2);
  const std::string& name = args[0];
  const int mode = mode_text[0] - '0';

  EngineLibrary engine;
  if (const int failed = StartConsistentEngine(engine)) return failed;
  SSImgRecord record{};
  if (const int failed = RequireListed(engine, name, &record)) return failed;

  const LONG status = engine.RestoreSSImg(name.c_str(), mode);
  if (status != SS_OK)
    return Fail("the restore of " + name + " could not be staged: " + StatusMeaning(status) + " (" +
                std::to_string(status) +
                "). It is not recorded as pending, but the steps that succeeded stay: "
                "AUTOEXEC.BAT may already hold its hook");
  if (!RecordPendingRestore(name))
    return Fail("the restore of " + name + " is staged, but sswizard.ini could not record it");
  if (restart && !ExitWindowsEx(EWX_REBOOT, 0))
    return Fail("the restore of " + name + " is staged, but the machine could not be restarted " +
                "(error " + std::to_string(GetLastError()) + ")");

  if (invocation.json) {
    Json json;
    json.BeginObject()
        .Field("name", name)
        .Field("status", static_cast<int64_t>(status))
        .Field("mode", mode)
        .Field("switch", RestartSwitchOf(mode))
        .Field("restarting", restart)
        .EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  std::printf("Staged the restore of %s (%s, restart switch %s).\n", name.c_str(),
              PeopleDate(record.date).c_str(), RestartSwitchOf(mode).c_str());
  if (restart)
    std::printf("The machine is restarting; the restart finishes the restore.\n");
  else
    std::printf(
        "The restart finishes it: restart the machine (w98 restart). Until then the other "
        "quillow commands refuse to start the engine.\n");
  return 0;
}

}  // namespace

QUILLOW_COMMAND("restore",
                "restore NAME [--mode 0|1|2] [--restart]  stage the restore of a snapshot",
                RunRestore);

}  // namespace quillow
