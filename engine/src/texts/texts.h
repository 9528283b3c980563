// The exact texts of the files a save writes: the boot-phase batch ("tempboot"), the
// Windows-phase batch ("tempwin"), the quick-restore list ("tempdosboot"), the per-file restore
// block and "backup.log"; and of the files a restore stages: the AUTOEXEC.BAT hook,
// rw_ini.bat, the registry fix-up file REGWIN.INI and a single-file session's batch files
// "_rfbob.sav" and "_rfbow.sav". Each family lives in its own file as a table of entries; each
// entry is the text of one write, with "\n" for a line end (the files are written in text mode, so
// each
// "\n" reaches the disk as CR LF) and {PLACEHOLDERS} filled in here.
//
// Paths written into a batch line have each "%" doubled, since COMMAND.COM reads a single "%"
// as the start of a variable. Free texts (comments, version texts) written into a line have
// their control characters replaced by blanks, so they can never start a line of their own.
#ifndef SNAPSHOT_SRC_TEXTS_TEXTS_H
#define SNAPSHOT_SRC_TEXTS_TEXTS_H

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace snapshot::texts {

// The folders a batch text names.
struct Folders {
  std::string store;    // {STORE}: the store folder as given to Init, ending with a backslash
  std::string windows;  // {WINDIR}: the Windows folder without a trailing backslash
  std::string boot;     // {BOOT}: the boot folder, ending with a backslash
};

// ---- Filling templates ------------------------------------------------------------------------

using Placeholders = std::initializer_list<std::pair<std::string_view, std::string_view>>;
// Replaces every "{NAME}" of `pattern` by its value; unknown placeholders stay as they are.
std::string Fill(std::string_view pattern, Placeholders values);
// A path as a batch line holds it: each "%" written as "%%".
std::string BatchPath(std::string_view path);
// A free text on one line: control characters (line ends, tabs) become blanks.
std::string OneLine(std::string_view text);

// ---- Boot-phase batch ("tempboot") ------------------------------------------------------------

// The 26-byte placeholder (on disk) that the end of the save overwrites.
inline constexpr std::string_view kBootPlaceholder = "\nREM \nREM \nREM \nREM \n";
// The writes from the placeholder to the line that unprotects the stored copies, in order.
std::vector<std::string> BootOpening(const Folders& folders, std::string_view comments);
// The writes after the kernel files' blocks; the DEL of c:\config.sys when the save found none.
std::vector<std::string> BootClosing(const Folders& folders, bool delete_config_sys);
// The text written over the placeholder: "@echo off", a line end and "REM TIME=" + hhmmss.
std::string BootTimeLine(std::string_view time_text);
// The line that imports {STORE}\REGWIN.INI into the machine's hives with the real-mode
// registry editor; ends the boot-phase batch and every call's part of "_rfbob.sav".
std::string RegistryImportLine(const Folders& folders);

// ---- Windows-phase batch ("tempwin") ----------------------------------------------------------

std::vector<std::string> WinOpening(const Folders& folders);
std::vector<std::string> WinClosing(const Folders& folders);
// Written among the user files' blocks where the save found no c:\autoexec.bat.
std::string WinDeleteAutoexec();

// ---- Per-file restore block -------------------------------------------------------------------

struct RestoreItem {
  std::string original;        // {ORIG}: full path of the file as saved
  std::string stored;          // {STORED}: full path of its stored copy
  std::string version;         // {VER}
  std::string attribute_text;  // {ATTRS}
  std::string size_text;       // "0" for an empty file
};
// The header and the COPY (or "rem >") lines that put one file back at save time.
std::vector<std::string> RestoreBlock(const RestoreItem& item);
// The block of a single-file session: whatever the attributes, the stored copy is unprotected
// before the COPY (or "rem >") and protected again after it.
std::vector<std::string> SessionRestoreBlock(const RestoreItem& item);

// ---- Quick-restore list ("tempdosboot") -------------------------------------------------------

inline constexpr std::string_view kQuickRestoreHeader = "::Quillow DOS Restore File";
// "\n{VER}\t{ORIG}\t{STORED}\t{LETTERS}", "NONE" for an empty version; no trailing line end.
std::string QuickRestoreRecord(std::string_view version, std::string_view original,
                               std::string_view stored, std::string_view letters);

// ---- backup.log -------------------------------------------------------------------------------

std::string BackupLogCopied(std::string_view source, std::string_view copy_folder);
std::string BackupLogCopyError(std::string_view source, std::string_view copy_folder);

// ---- Restore staging: AUTOEXEC.BAT hooks, rw_ini.bat, REGWIN.INI -----------------------------

// The four pieces appended to {BOOT}AUTOEXEC.BAT by a whole-snapshot restore: run
// c:\windows\temp\rb.bat once, then delete it. No piece ends with a line end.
std::vector<std::string> AutoexecHook();
// The piece a single-file session's closing call appends to {BOOT}AUTOEXEC.BAT.
std::string SessionAutoexecHook();
// c:\windows\temp\rw_ini.bat: the line deleting {BOOT}AUTOEXEC.BAT when the restore created
// that file, then the line running rw.bat.
std::vector<std::string> RwIni(const Folders& folders, bool delete_autoexec);

// The restart program's switch of a restart mode: 0 " /QH", 2 " /QL", any other " /QN".
std::string_view RestartSwitch(long mode);
// {STORE}\REGWIN.INI, a REGEDIT4 script: the RunOnce entry starting the restart program with
// the mode's switch, and (for a whole-snapshot restore) the Run entry of the start-up program.
std::vector<std::string> RegWin(const Folders& folders, long mode, bool with_run_entry);

// ---- Single-file session files ("_rfbob.sav", "_rfbow.sav") ------------------------------------

// Written to both files at the start of every call.
inline constexpr std::string_view kSessionOpening = "@echo off\n";
// "\nREM {NAME} ======================\n", to both files.
std::string SessionHeader(std::string_view name);
// The lines a closing call appends to "_rfbow.sav": they delete both session files.
std::string SessionClose(const Folders& folders);

// What {BOOT}AUTOEXEC.BAT is like when a call adds the lines that put it back.
enum class AutoexecState { kWithContent, kEmpty, kMissing };
// The lines of "_rfbow.sav" that put the present {BOOT}AUTOEXEC.BAT back in the Windows phase
// (from its copy c:\windows\temp\AUTOEXEC.BAT when it has content). The last line has no line
// end.
std::vector<std::string> AutoexecKeep(const Folders& folders, AutoexecState state);

}  // namespace snapshot::texts

#endif  // SNAPSHOT_SRC_TEXTS_TEXTS_H
