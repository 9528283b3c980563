// The boot-phase batch ("tempboot", copied to the batch folder with 'B' at index 9 and staged
// as c:\windows\temp\rb.bat): run from AUTOEXEC.BAT in real-mode DOS, it tries the quick
// restore, falls back to COPY lines, and imports the registry fix-up file.
#include "texts/texts.h"

namespace snapshot::texts {
namespace {

// Written at the start of the save, one write per entry.
constexpr std::string_view kOpening[] = {
    kBootPlaceholder,
    "\nREM COMMENTS={COMMENTS}\n",
    "{BOOT}windows\\smartdrv.exe c+ /F /Q\n",
    "IF EXIST \"{STORE}trestore.exe\" GOTO QUICKDOSRESTORE\n",
    "IF NOT EXIST \"{STORE}trestore.exe\" GOTO DOSRESTORE\n",
    "\n:QUICKDOSRESTORE\n",
    "\"{STORE}trestore.exe\" \"c:\\windows\\temp\\trestdat\" -o \n",
    // The DOS restore program's exit code, tested from the highest down: 5 or more, or 0,
    // keeps the quick restore; 1 to 4 runs the copy lines below.
    "IF ERRORLEVEL 5 GOTO ENDQUICKDOSRESTORE\n",
    "IF ERRORLEVEL 4 GOTO DOSRESTORE\n",
    "IF ERRORLEVEL 3 GOTO DOSRESTORE\n",
    "IF ERRORLEVEL 2 GOTO DOSRESTORE\n",
    "IF ERRORLEVEL 1 GOTO DOSRESTORE\n",
    "IF ERRORLEVEL 0 GOTO ENDQUICKDOSRESTORE\n",
    ":DOSRESTORE\n",
    "\nc:\\windows\\command\\ATTRIB \"{STORE}backup\\*.*\" +A -R -S -H\n",
};

// Written at the end of the save, after the kernel files' blocks.
constexpr std::string_view kReprotect =
    "\nc:\\windows\\command\\ATTRIB \"{STORE}backup\\*.*\" +A +R +S +H\n";
constexpr std::string_view kEndQuick = "\n:ENDQUICKDOSRESTORE\n";
constexpr std::string_view kDeleteConfigSys = "\nDEL \"c:\\config.sys\"\n";
constexpr std::string_view kRegistryImport =
    "\n\"{WINDIR}\\regedit.exe\" \"/L:{WINDIR}\\system.dat\" \"/R:{WINDIR}\\user.dat\" "
    "\"{STORE}\\REGWIN.INI\" \n";
constexpr std::string_view kSuccessMarker = "\nrem > \"{STORE}rb.suc\"\n";

constexpr std::string_view kTimeLine = "@echo off\nREM TIME={HHMMSS}";

}  // namespace

std::vector<std::string> BootOpening(const Folders& folders, std::string_view comments) {
  const std::string store = BatchPath(folders.store);
  const std::string boot = BatchPath(folders.boot);
  const std::string text = OneLine(comments);
  std::vector<std::string> writes;
  for (std::string_view entry : kOpening)
    writes.push_back(Fill(entry, {{"STORE", store}, {"BOOT", boot}, {"COMMENTS", text}}));
  return writes;
}

std::vector<std::string> BootClosing(const Folders& folders, bool delete_config_sys) {
  const std::string store = BatchPath(folders.store);
  std::vector<std::string> writes;
  writes.push_back(Fill(kReprotect, {{"STORE", store}}));
  writes.emplace_back(kEndQuick);
  if (delete_config_sys) writes.emplace_back(kDeleteConfigSys);
  writes.push_back(RegistryImportLine(folders));
  writes.push_back(Fill(kSuccessMarker, {{"STORE", store}}));
  return writes;
}

std::string RegistryImportLine(const Folders& folders) {
  return Fill(kRegistryImport,
              {{"WINDIR", BatchPath(folders.windows)}, {"STORE", BatchPath(folders.store)}});
}

std::string BootTimeLine(std::string_view time_text) {
  return Fill(kTimeLine, {{"HHMMSS", time_text}});
}

}  // namespace snapshot::texts
