#include "windows_phase.h"

#include <cstdio>
#include <vector>

#include "batch_text.h"
#include "dos_files.h"
#include "w98/windows.h"

namespace qlreboot {

Mode ModeOf(const std::string& switch_text) {
  if (command::EqualsNoCase(switch_text, "/QH")) return Mode::kHidden;
  if (command::EqualsNoCase(switch_text, "/QL")) return Mode::kLow;
  return Mode::kNormal;
}

int RunOnce(const std::string& batch, const std::string& interpreter, Mode mode,
            const std::function<void(const std::string&)>& say) {
  if (!dos::IsFile(batch)) {
    say("nothing to run: " + batch + " does not exist");
    return 0;
  }
  const std::string running = dos::Join(dos::FolderOf(batch), "qlrun.bat");
  if (dos::IsFile(running)) {
    // Left by a run that was cut short: it must not run again.
    SetFileAttributesA(running.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(running.c_str());
  }
  if (!MoveFileA(batch.c_str(), running.c_str())) {
    say("cannot take " + batch + " to run it");
    return -1;
  }
  std::string line = "COMMAND.COM /C \"" + running + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = mode == Mode::kHidden ? SW_HIDE
                        : mode == Mode::kLow  ? SW_SHOWMINNOACTIVE
                                              : SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  std::fflush(stdout);
  if (!CreateProcessA(interpreter.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    MoveFileA(running.c_str(), batch.c_str());
    say("cannot start " + interpreter);
    return -1;
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(info.hProcess, &code)) code = 0;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  SetFileAttributesA(running.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(running.c_str());
  say("ran " + batch);
  return static_cast<int>(code);
}

}  // namespace qlreboot
