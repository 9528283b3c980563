#include "installation.h"

#include <w98/w98.h>
#include <w98/windows.h>

#include "catalogue_access.h"
#include "cli.h"

namespace quillow {
namespace {

// The settings of the main program and of the engine, with the values of a fresh installation.
const std::pair<const char*, const char*> kSettingDefaults[] = {
    {"backgroundmode", "0"},  {"MainScreen", "0"},
    {"restart", "0"},         {"restoress", "0"},
    {"dosrestoress", "0"},    {"restoreimage", ""},
    {"DoRestore", "0"},       {"debug", "0"},
    {"skipintro", "0"},       {"daily", ""},
    {"weekly", ""},           {"monthly", ""},
    {"dailysaves", "7"},      {"weeklysaves", "4"},
    {"monthlysaves", "12"},   {"undoexpire", "1"},
    {"latestss", ""},         {"latestsstime", ""},
    {"latestscheduless", ""}, {"latestschedulesstime", ""},
    {"schedulebackup", "0"},  {"backuptime", "none"},
    {"advance", "0"},
};

// The maker's programs that a restore names, as stubs of the host programs that play them.
const std::pair<const char*, const char*> kProgramStubs[] = {
    {"trestore.exe", "trestore"}, {"qlreboot.exe", "qlreboot"}, {"zemoqlb.exe", "zemoqlb"},
    {"RPL.pif", "qlreboot"},      {"RPN.pif", "qlreboot"},      {"RPH.pif", "qlreboot"},
};

bool EnsureFolder(const std::string& folder) {
  return CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Writes the settings that the file does not hold yet; returns how many were written.
int WriteMissingSettings(const std::string& file) {
  int written = 0;
  for (const auto& [key, value] : kSettingDefaults) {
    char buffer[16];
    const char* missing = "\x01";
    GetPrivateProfileStringA("snapshot", key, missing, buffer, sizeof buffer, file.c_str());
    if (std::string(buffer) != missing) continue;
    if (WritePrivateProfileStringA("snapshot", key, value, file.c_str())) ++written;
  }
  return written;
}

}  // namespace

bool ProvisionPatterns(const BackupPatterns& patterns) {
  namespace c = catalogue;
  const std::string master = "snapshot.ini";
  if (!c::DeleteSection(master, "BackupList")) return false;
  bool ok = true;
  // The patterns first, then the counts that name them.
  for (size_t i = 0; i < patterns.root.size(); ++i)
    ok = ok &&
         c::WriteText(master, "BackupList", "RootFileType" + std::to_string(i), patterns.root[i]);
  ok = ok && c::WriteInt(master, "BackupList", "RootFileTypeCount",
                         static_cast<int>(patterns.root.size()));
  for (size_t i = 0; i < patterns.windows.size(); ++i)
    ok = ok &&
         c::WriteText(master, "BackupList", "WinFileType" + std::to_string(i), patterns.windows[i]);
  ok = ok && c::WriteInt(master, "BackupList", "WinFileTypeCount",
                         static_cast<int>(patterns.windows.size()));
  // A fresh catalogue is consistent; an existing one keeps its marks.
  for (const char* profile : {"snapshot.ini", "cref.tab"})
    if (!c::ReadInt(profile, "Misc", "Valid")) ok = ok && c::WriteInt(profile, "Misc", "Valid", 1);
  return ok && c::Flush();
}

bool Install(const BackupPatterns& patterns, InstallResult* result, std::string* error) {
  const std::string store = kStoreFolder;
  result->store = store;
  const std::string folder = store.substr(0, store.size() - 1);
  const std::string parent = folder.substr(0, folder.rfind('\\'));
  if (!EnsureFolder(parent) || !EnsureFolder(folder)) {
    *error = "cannot create the store folder " + store;
    return false;
  }
  if (!ProvisionPatterns(patterns)) {
    *error = "cannot write the backup patterns to the registry";
    return false;
  }
  result->settings_written = WriteMissingSettings(store + "sswizard.ini");
  for (const auto& [file, program] : kProgramStubs) {
    if (!w98::WriteProgramStub(store + file, program)) {
      *error = "cannot write " + store + file;
      return false;
    }
    result->programs.push_back(store + file);
  }
  return true;
}

}  // namespace quillow
