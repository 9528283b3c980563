// The end of a session: ExitWindowsEx.
#include <unistd.h>

#include <vector>

#include "core/api.h"
#include "process/power_state.h"
#include "process/process_table.h"
#include "registry/storage_hooks.h"
#include "w98/session.h"
#include "w98/winbase.h"
#include "window/window.h"

namespace w98::internal {
namespace {

// How long a window may take to answer WM_QUERYENDSESSION or WM_ENDSESSION; a window that
// does not answer in time does not hold the session up.
constexpr std::chrono::seconds kAnswerTime{5};

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  if (auto table = CurrentWindowTable()) {
    for (const auto& record : table->All())
      if (record.TopLevel()) windows.push_back(record.hwnd);
  } else {
    for (const auto& window : LocalWindows()) {
      std::lock_guard<std::mutex> lock(window->mutex());
      if (window->record.TopLevel()) windows.push_back(window->hwnd());
    }
  }
  return windows;
}

void SendToEach(const std::vector<HWND>& windows, UINT message, WPARAM wparam) {
  for (HWND hwnd : windows) {
    LRESULT ignored;
    SendWithin(hwnd, message, wparam, 0, std::chrono::steady_clock::now() + kAnswerTime, &ignored);
  }
}

}  // namespace
}  // namespace w98::internal

W98API BOOL WINAPI ExitWindowsEx(UINT uFlags, DWORD) {
  w98::internal::EnterCall();
  using namespace w98::internal;
  // A forced end asks nobody and tells nobody, as Windows does.
  if (!(uFlags & EWX_FORCE)) {
    const std::vector<HWND> windows = TopLevelWindows();
    std::vector<HWND> agreed;
    for (HWND hwnd : windows) {
      LRESULT answer = 0;
      const bool answered = SendWithin(hwnd, WM_QUERYENDSESSION, 0, 0,
                                       std::chrono::steady_clock::now() + kAnswerTime, &answer);
      if (answered && answer == 0) {
        SendToEach(agreed, WM_ENDSESSION, FALSE);  // the session goes on after all
        w98::WriteBootLog("session end refused by a window");
        SetLastError(ERROR_CANCELLED);
        return FALSE;
      }
      agreed.push_back(hwnd);
    }
    SendToEach(windows, WM_ENDSESSION, TRUE);
  }
  w98::WriteBootLog((uFlags & EWX_REBOOT) ? "session ends: restart" : "session ends");
  EndMachinePrograms(std::chrono::seconds(3));
  FlushAllHives();
  if ((uFlags & (EWX_SHUTDOWN | EWX_POWEROFF)) && !(uFlags & EWX_REBOOT)) {
    RecordPowerState(PowerState::kOff);
    w98::WriteBootLog("machine off");
  }
  if ((uFlags & EWX_REBOOT) && !w98::StartRestartDetached()) {
    w98::WriteBootLog("cannot start the restart");
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}
