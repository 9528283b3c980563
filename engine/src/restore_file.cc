// The single-file restore: each call adds one file to the session files in the store; the
// closing call stages them like a whole-snapshot restore.
#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include <w98/io.h>

#include "catalogue.h"
#include "file_facts.h"
#include "restore.h"
#include "restore_staging.h"
#include "settings.h"
#include "snapshot/snapshot.h"
#include "snapshot_names.h"
#include "text_file.h"

namespace snapshot {
namespace {

// A stored version found for the requested file.
struct FoundFile {
  std::string name;  // OriginalFileName
  texts::RestoreItem item;
};

// The first version, kernel files before user files, whose source name is `wanted` exactly.
std::optional<FoundFile> FindStoredFile(const std::string& snapshot, const std::string& wanted) {
  if (wanted.empty()) return std::nullopt;
  for (const std::string& key : ReadSnapshotFileKeys(snapshot)) {
    if (key.empty()) continue;  // a gap in the list names no version
    Section entry(cat::kReferences, key);
    if (entry.ReadText(cat::kOriginalFileName) != wanted) continue;
    FoundFile found;
    found.name = wanted;
    found.item.size_text = entry.ReadText(cat::kSize, "0");
    found.item.attribute_text = entry.ReadText(cat::kAttrib);
    found.item.original = entry.ReadText(cat::kOriginalPath) + wanted;
    found.item.stored = entry.ReadText(cat::kStorePath) + entry.ReadText(cat::kAlias);
    found.item.version = entry.ReadText(cat::kVersion);
    return found;
  }
  return std::nullopt;
}

// Opens a session file at its end (created when missing) and writes the call's opening line.
// An earlier call may have left the file ending inside a line (its last line, which deletes
// AUTOEXEC.BAT, has no line end): the line is ended first, so the opening is a line of its own.
// A file that does not open stays closed and receives nothing.
void OpenSessionFile(const std::string& path, TextFile& file) {
  const bool at_line_start = EndsWithLineEnd(path);
  if (!file.OpenForAppend(path)) return;
  if (!at_line_start) file.Write("\n");
  file.Write(texts::kSessionOpening);
}

// True when the session's Windows-phase file already holds the block of a file named
// AUTOEXEC.BAT. Lines that put the present AUTOEXEC.BAT back would then run after that block and
// undo the restore that an earlier call of the session asked for.
bool SessionRestoresAutoexec(const std::string& win_session) {
  const int fd = _open(win_session.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return false;
  std::string text;
  char buffer[4096];
  for (int n; (n = _read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  _close(fd);
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text.find("\\AUTOEXEC.BAT\" VERSION=") != std::string::npos;
}

// The lines that put the present {BOOT}AUTOEXEC.BAT back in the Windows phase, replacing the
// one that carries the session's hook. A file with content is kept as
// c:\windows\temp\AUTOEXEC.BAT, from which the lines copy it back.
std::vector<std::string> KeepAutoexecLines(const texts::Folders& folders) {
  const std::string path = folders.boot + "AUTOEXEC.BAT";
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(path.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE)
    return texts::AutoexecKeep(folders, texts::AutoexecState::kMissing);
  FindClose(find);
  if (found.nFileSizeLow == 0 && found.nFileSizeHigh == 0)
    return texts::AutoexecKeep(folders, texts::AutoexecState::kEmpty);
  CopyFileA(path.c_str(), kStagedAutoexec, FALSE);
  return texts::AutoexecKeep(folders, texts::AutoexecState::kWithContent);
}

// The closing call: the catalogue is exported for Init to put back after the restart, the
// session files are staged and hooked into AUTOEXEC.BAT, and the restart program is set to run.
void StageSession(const texts::Folders& folders, const std::string& boot_session,
                  const std::string& win_session, LONG mode, StagingStatus& status) {
  ExportWholeCatalogue(folders.store);
  Settings(folders.store).Write(setting::kDoRestore, "1");
  const bool boot_staged = CopyFileA(boot_session.c_str(), kStagedBootBatch, FALSE) != FALSE;
  const bool win_staged = CopyFileA(win_session.c_str(), kStagedWinBatch, FALSE) != FALSE;
  if (!boot_staged) status.Record(SS_RESTORE_BOOT_BATCH);
  if (!win_staged) status.Record(SS_RESTORE_WIN_BATCH);
  {
    // Not reported: the Windows phase puts the previous AUTOEXEC.BAT back in any case.
    TextFile autoexec;
    bool created = false;
    if (OpenAutoexec(folders.boot, autoexec, &created))
      autoexec.Write(texts::SessionAutoexecHook());
  }
  if (!WriteRwIni(folders, false)) status.Record(SS_RESTORE_RW_INI);
  if (!WriteRegWin(folders, mode, false)) status.Record(SS_RESTORE_REGWIN);
}

}  // namespace

LONG RestoreFile(const texts::Folders& folders, const char* name, const char* file, LONG close,
                 LONG mode) {
  const std::string snapshot = name != nullptr ? name : "";
  if (!IsUsableSnapshotName(snapshot)) return SS_RESTORE_BOOT_BATCH;
  const std::string wanted = file != nullptr ? file : "";
  const std::string boot_session = folders.store + "_rfbob.sav";
  const std::string win_session = folders.store + "_rfbow.sav";
  StagingStatus status;

  TextFile boot_file, win_file;
  OpenSessionFile(boot_session, boot_file);
  OpenSessionFile(win_session, win_file);
  if (!EnsureStagingFolder()) status.Record(SS_RESTORE_TEMP_FOLDER);
  // Whether an earlier call of the session restores AUTOEXEC.BAT (this call has written no
  // block yet).
  bool restoring_autoexec = SessionRestoresAutoexec(win_session);
  const std::string header = texts::SessionHeader(snapshot);
  boot_file.Write(header);
  win_file.Write(header);

  if (const std::optional<FoundFile> found = FindStoredFile(snapshot, wanted)) {
    TextFile& target = IsKernelFile(found->name) ? boot_file : win_file;
    target.WriteAll(texts::SessionRestoreBlock(found->item));
    if (EqualsNoCase(found->name, "AUTOEXEC.BAT")) restoring_autoexec = true;
  }
  if (close == 1) win_file.Write(texts::SessionClose(folders));
  boot_file.Write(texts::RegistryImportLine(folders));
  boot_file.Close();
  if (!restoring_autoexec) win_file.WriteAll(KeepAutoexecLines(folders));
  win_file.Close();

  if (close == 1) StageSession(folders, boot_session, win_session, mode, status);
  return status.Final(StagePifFiles(folders.store));
}

}  // namespace snapshot
