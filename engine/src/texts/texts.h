// The exact texts of the files a save writes: the boot-phase batch ("tempboot"), the
// Windows-phase batch ("tempwin"), the quick-restore list ("tempdosboot"), the per-file restore
// block and "backup.log". Each family lives in its own file as a table of entries; each entry is
// the text of one write, with "\n" for a line end (the files are written in text mode, so each
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

// ---- Quick-restore list ("tempdosboot") -------------------------------------------------------

inline constexpr std::string_view kQuickRestoreHeader = "::Quillow DOS Restore File";
// "\n{VER}\t{ORIG}\t{STORED}\t{LETTERS}", "NONE" for an empty version; no trailing line end.
std::string QuickRestoreRecord(std::string_view version, std::string_view original,
                               std::string_view stored, std::string_view letters);

// ---- backup.log -------------------------------------------------------------------------------

std::string BackupLogCopied(std::string_view source, std::string_view copy_folder);
std::string BackupLogCopyError(std::string_view source, std::string_view copy_folder);

}  // namespace snapshot::texts

#endif  // SNAPSHOT_SRC_TEXTS_TEXTS_H
