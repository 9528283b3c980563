// {STORE}\REGWIN.INI: the registry script that the boot-phase batch imports into the restored
// hives, which do not hold the entries that finish the restore: the RunOnce entry that starts
// the restart program, and the Run entry of the maker's start-up program.
#include "texts/texts.h"

namespace snapshot::texts {
namespace {

constexpr std::string_view kHeader = "REGEDIT4\n";
constexpr std::string_view kRunOnceKey =
    "\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\n";
constexpr std::string_view kRunOnceValue =
    "\"Snapshot\"=\"c:\\\\windows\\\\zemo\\\\snapshot\\\\qlreboot.exe{SWITCH}\"\n";
constexpr std::string_view kRunKey =
    "\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\n";
// {BOOT} ends with a backslash, so with "C:\" the value reads C:\\Windows\\...
constexpr std::string_view kRunValue =
    "\"TavrinQuillow\"=\"{BOOT}\\Windows\\\\Zemo\\\\Snapshot\\\\zemoqlb.exe\"\n";

// The boot folder as the Run value holds it. Inside a REGEDIT4 value a backslash or a quote is
// escaped with a backslash; the folder's own last backslash stays single, since the text after
// it supplies the second one. "C:\" stays "C:\"; "D:\BOOT\" becomes "D:\\BOOT\".
std::string BootInValue(std::string_view boot) {
  if (!boot.empty() && boot.back() == '\\') boot.remove_suffix(1);
  std::string out;
  for (char c : OneLine(boot)) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\\";
}

}  // namespace

std::string_view RestartSwitch(long mode) {
  switch (mode) {
    case 0:
      return " /QH";
    case 2:
      return " /QL";
    default:
      return " /QN";
  }
}

std::vector<std::string> RegWin(const Folders& folders, long mode, bool with_run_entry) {
  std::vector<std::string> writes = {std::string(kHeader), std::string(kRunOnceKey),
                                     Fill(kRunOnceValue, {{"SWITCH", RestartSwitch(mode)}})};
  if (with_run_entry) {
    writes.emplace_back(kRunKey);
    writes.push_back(Fill(kRunValue, {{"BOOT", BootInValue(folders.boot)}}));
  }
  return writes;
}

}  // namespace snapshot::texts
