// The session files of a single-file restore: "_rfbob.sav" (run in the boot phase) and
// "_rfbow.sav" (run in the Windows phase). Every call appends its opening, its header, the one
// file's block and the lines that put the present AUTOEXEC.BAT back; the closing call adds the
// lines that delete both files once the Windows phase has run.
#include "texts/texts.h"

namespace snapshot::texts {
namespace {

constexpr std::string_view kHeader = "\nREM {NAME} ======================\n";
constexpr std::string_view kClose =
    "\nREM CLOSE_SESSION\nDEL \"{STORE}_rfbob.sav\"\nDEL \"{STORE}_rfbow.sav\"\n";

// Putting AUTOEXEC.BAT back: from its copy, by recreating it empty, or by deleting the one that
// the closing call's hook created. The DEL lines end without a line end.
constexpr std::string_view kKeepCopy[] = {
    "COPY /Y \"c:\\windows\\temp\\AUTOEXEC.BAT\" \"{BOOT}AUTOEXEC.BAT\"\n",
    "DEL \"c:\\windows\\temp\\AUTOEXEC.BAT\"",
};
constexpr std::string_view kKeepEmpty = "rem > \"{BOOT}AUTOEXEC.BAT\"\n";
constexpr std::string_view kKeepMissing = "DEL \"{BOOT}AUTOEXEC.BAT\"";

}  // namespace

std::string SessionHeader(std::string_view name) {
  return Fill(kHeader, {{"NAME", OneLine(name)}});
}

std::string SessionClose(const Folders& folders) {
  return Fill(kClose, {{"STORE", BatchPath(folders.store)}});
}

std::vector<std::string> AutoexecKeep(const Folders& folders, AutoexecState state) {
  const std::string boot = BatchPath(folders.boot);
  switch (state) {
    case AutoexecState::kWithContent:
      return {Fill(kKeepCopy[0], {{"BOOT", boot}}), std::string(kKeepCopy[1])};
    case AutoexecState::kEmpty:
      return {Fill(kKeepEmpty, {{"BOOT", boot}})};
    case AutoexecState::kMissing:
      break;
  }
  return {Fill(kKeepMissing, {{"BOOT", boot}})};
}

}  // namespace snapshot::texts
