// trestore: the maker's DOS quick restore, run by the boot-phase batch file before Windows
// starts:
//
//   "C:\WINDOWS\ZEMO\SNAPSHOT\trestore.exe" "c:\windows\temp\trestdat" -o
//
//   trestore LIST [-o]
//     LIST  the quick-restore list (header "::Quillow DOS Restore File", then one record per
//           file: VERSION TAB ORIGINAL TAB STORED-COPY TAB LETTERS)
//     -o    overwrite: put every listed file back; without it only missing files return
//
// Each file is copied from its stored copy to a temporary name beside it and renamed into
// place, so no file is ever left half written; it gets the attributes of its letters (S, H,
// R) plus archive and the stored copy's last-write time. The program writes trestore.log in
// its own folder (the snapshot store) with exactly six lines, "Hardware Errors: n",
// "Read Errors: n", "Write Errors: n", "Memory Errors: n", "Application Errors: n" and
// "Low Disk Space Errors: n". The log is written first with one application error and
// rewritten at the end, so a run that dies half way never reads as a clean one.
//
// Exit codes (the boot-phase batch tests them from ERRORLEVEL 5 down):
//   0  every listed file was restored (or the list holds none)
//   1  the list is missing, unreadable, or lacks its header
//   2  a stored copy is missing or cannot be read
//   3  a file could not be written in place
//   4  a malformed record, a bad command line, or an internal error
//   5  the disk is full: the batch file's COPY lines would fail too, so they are skipped
// 1 to 4 make the batch file fall back to its COPY lines. When several failures meet, 5
// wins once the disk was full, else the highest code.
#include <cstdio>
#include <string>
#include <vector>

#include "batch_text.h"
#include "companion_support.h"
#include "dos_files.h"
#include "program_args.h"
#include "quick_restore.h"
#include "restore_list.h"
#include "w98/machine.h"

namespace {

constexpr const char* kUsage =
    "usage: trestore LIST [-o]\n"
    "  restores the files of a quick-restore list from their stored copies\n"
    "  -o  overwrite existing files (without it only missing files are restored)\n"
    "exit codes: 0 all restored; 1 list missing or unreadable; 2 stored copy missing or\n"
    "  unreadable; 3 a file could not be written; 4 malformed record, bad command line or\n"
    "  internal error; 5 disk full\n";

void Say(const std::string& line) {
  std::fputs(("trestore: " + line + "\n").c_str(), stdout);
}

// The folder for trestore.log: the program's own folder (the store). When the program was
// not started through its stub, the store is the folder above the stored copies'
// "backup\" folder, else the list's folder.
std::string LogFolder(const std::string& list_path, const trestore::RestoreList& list) {
  std::string folder = companion::ProgramFolder();
  if (!folder.empty()) return folder;
  if (!list.records.empty()) {
    std::string backup = dos::FolderOf(list.records.front().stored);
    if (!backup.empty() && (backup.back() == '\\' || backup.back() == '/')) backup.pop_back();
    if (command::EqualsNoCase(dos::NameOf(backup), "backup")) return dos::FolderOf(backup);
  }
  return dos::FolderOf(dos::FullPath(list_path));
}

}  // namespace

int main(int argc, char** argv) {
  if (w98::MachineFolder().empty()) {
    std::fprintf(stderr, "trestore: no machine: set %s to a machine folder\n", w98::kMachineEnv);
    return trestore::kInternalError;
  }
  std::string list_path;
  trestore::RestoreOptions options;
  bool bad_arguments = false;
  const std::vector<std::string> host_args(argv + 1, argv + argc);
  for (const std::string& word : command::SplitWords(dos::CommandTail(host_args))) {
    const std::string arg = command::Unquote(word);
    if (arg.empty()) continue;
    if (command::EqualsNoCase(arg, "-o") || command::EqualsNoCase(arg, "/o")) {
      options.overwrite = true;
    } else if ((arg[0] == '-' || arg[0] == '/') || !list_path.empty()) {
      bad_arguments = true;
    } else {
      list_path = arg;
    }
  }

  trestore::RestoreList list;
  std::string bytes;
  const bool list_read = !list_path.empty() && dos::ReadWholeFile(list_path, &bytes);
  const bool list_parsed = list_read && trestore::ParseRestoreList(bytes, &list);
  const std::string log = dos::Join(LogFolder(list_path, list), "trestore.log");

  trestore::ErrorCounts pending;
  pending.application = 1;
  if (!companion::WriteTextFile(log, trestore::LogText(pending), false)) Say("cannot write " + log);

  trestore::RestoreResult result;
  if (bad_arguments || list_path.empty()) {
    std::fputs(kUsage, stdout);
    ++result.counts.application;
    trestore::NoteFailure(&result, trestore::kInternalError);
  } else if (!list_read) {
    Say("cannot read the list " + list_path);
    ++result.counts.read;
    trestore::NoteFailure(&result, trestore::kListUnusable);
  } else if (!list_parsed) {
    Say(list_path + " is not a quick-restore list");
    ++result.counts.application;
    trestore::NoteFailure(&result, trestore::kListUnusable);
  } else {
    result = trestore::RestoreFiles(list, options, Say);
    char summary[96];
    std::snprintf(summary, sizeof summary, "%u of %zu files restored", result.restored,
                  list.records.size());
    Say(summary);
  }
  if (!companion::WriteTextFile(log, trestore::LogText(result.counts), false))
    Say("cannot write " + log);
  std::fflush(stdout);
  return result.exit_code;
}
