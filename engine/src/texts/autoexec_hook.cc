// What a restore adds to start the boot phase: the lines appended to {BOOT}AUTOEXEC.BAT that
// run c:\windows\temp\rb.bat, and c:\windows\temp\rw_ini.bat, which starts the Windows phase.
#include "texts/texts.h"

namespace snapshot::texts {
namespace {

// Appended at the end of AUTOEXEC.BAT; each piece begins a line of its own, and the last has no
// line end. The boot-phase batch runs in a child interpreter, so the lines after it still run
// and delete it: it runs once.
constexpr std::string_view kHook[] = {
    "\n@ECHO OFF",
    "\nREM Tavrin Quillow",
    "\nIF EXIST \"c:\\windows\\temp\\rb.bat\" CALL COMMAND /C \"c:\\windows\\temp\\rb.bat\"",
    "\nIF EXIST \"c:\\windows\\temp\\rb.bat\" DEL \"c:\\windows\\temp\\rb.bat\"",
};

// A single-file session's hook: the Windows phase puts the previous AUTOEXEC.BAT back.
constexpr std::string_view kSessionHook =
    "\nREM snapshot\nCOMMAND /C \"c:\\windows\\temp\\rb.bat\"";

constexpr std::string_view kDeleteAutoexec = "\ndel {BOOT}AUTOEXEC.BAT";
constexpr std::string_view kRunWinBatch = "\ncommand /c \"c:\\windows\\temp\\rw.bat\"";

}  // namespace

std::vector<std::string> AutoexecHook() {
  return {std::begin(kHook), std::end(kHook)};
}

std::string SessionAutoexecHook() {
  return std::string(kSessionHook);
}

std::vector<std::string> RwIni(const Folders& folders, bool delete_autoexec) {
  std::vector<std::string> writes;
  if (delete_autoexec) writes.push_back(Fill(kDeleteAutoexec, {{"BOOT", BatchPath(folders.boot)}}));
  writes.emplace_back(kRunWinBatch);
  return writes;
}

}  // namespace snapshot::texts
