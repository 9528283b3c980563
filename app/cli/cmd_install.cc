// quillow install [--patterns FILE]: installs the product on the machine.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "cli.h"
#include "installation.h"
#include "output.h"

namespace quillow {
namespace {

int RunInstall(const Invocation& invocation) {
  std::vector<std::string> args = invocation.args;
  std::string patterns_file, error;
  const bool custom = TakeOption(args, "--patterns", &patterns_file, &error);
  if (!error.empty()) return Fail(error, 2);
  if (!args.empty()) return Fail("usage: quillow install [--patterns FILE]", 2);

  BackupPatterns patterns;
  if (custom) {
    std::ifstream in(patterns_file, std::ios::binary);
    if (!in) return Fail("cannot read " + patterns_file);
    std::ostringstream text;
    text << in.rdbuf();
    if (!ParsePatterns(text.str(), &patterns, &error)) return Fail(patterns_file + ": " + error);
  } else {
    patterns = DefaultPatterns();
  }
  InstallResult result;
  if (!Install(patterns, &result, &error)) return Fail(error);

  if (invocation.json) {
    Json json;
    json.BeginObject().Field("store", result.store).Key("rootPatterns").BeginArray();
    for (const std::string& p : patterns.root) json.String(p);
    json.EndArray().Key("windowsPatterns").BeginArray();
    for (const std::string& p : patterns.windows) json.String(p);
    json.EndArray().Field("settingsWritten", result.settings_written).Key("programs").BeginArray();
    for (const std::string& p : result.programs) json.String(p);
    json.EndArray().EndObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
  }
  std::printf("Installed in %s\n", result.store.c_str());
  std::printf("  backup patterns: %zu on drive C:, %zu below the Windows folder\n",
              patterns.root.size(), patterns.windows.size());
  for (const std::string& p : patterns.root) std::printf("    %s\n", p.c_str());
  for (const std::string& p : patterns.windows) std::printf("    <Windows>%s\n", p.c_str());
  std::printf("  settings: %ssswizard.ini (%d default%s written)\n", result.store.c_str(),
              result.settings_written, result.settings_written == 1 ? "" : "s");
  std::printf("  programs: %zu stubs (trestore.exe, qlreboot.exe, zemoqlb.exe, RPL/RPN/RPH.pif)\n",
              result.programs.size());
  return 0;
}

}  // namespace

QUILLOW_COMMAND("install",
                "install [--patterns FILE]  install on the machine (store, patterns, settings)",
                RunInstall);

}  // namespace quillow
