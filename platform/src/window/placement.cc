// Window placement kept in the machine's window table: shown, minimised, maximised, hidden,
// topmost, foreground; changes reach the owning toolkit through its state hook.
#include <unistd.h>

#include "core/api.h"
#include "w98/winbase.h"
#include "window/messenger.h"
#include "window/window.h"

namespace w98::internal {
namespace {

HWND g_foreground_without_machine = nullptr;  // foreground of a process that has no machine
std::mutex g_foreground_mutex;

HWND Foreground() {
  if (auto table = CurrentWindowTable()) return table->Foreground();
  std::lock_guard<std::mutex> lock(g_foreground_mutex);
  return FindLocalWindow(g_foreground_without_machine) ? g_foreground_without_machine : nullptr;
}

w98::WindowState StateOf(const WindowRecord& record, HWND foreground) {
  w98::WindowState state;
  state.show_cmd = record.show;
  state.visible = record.visible;
  state.topmost = record.topmost;
  state.foreground = foreground == record.hwnd;
  state.normal_position = record.normal;
  return state;
}

void CopyPlacement(const WindowRecord& from, WindowRecord& to) {
  to.show = from.show;
  to.visible = from.visible;
  to.topmost = from.topmost;
  to.restore_maximized = from.restore_maximized;
  to.normal = from.normal;
  to.min_position = from.min_position;
  to.max_position = from.max_position;
}

// Runs a window's state hook on its own thread.
class StateChange final : public QueueItem {
 public:
  StateChange(std::shared_ptr<Window> window, bool reload)
      : window_(std::move(window)), reload_(reload) {}
  LRESULT Run() override {
    if (reload_ && window_->table()) {
      if (auto stored = window_->table()->Get(window_->hwnd())) {
        std::lock_guard<std::mutex> lock(window_->mutex());
        CopyPlacement(*stored, window_->record);
      }
    }
    w98::WindowStateHook hook;
    WindowRecord record;
    {
      std::lock_guard<std::mutex> lock(window_->mutex());
      hook = window_->state_hook;
      record = window_->record;
    }
    if (hook && FindLocalWindow(window_->hwnd()))
      hook(window_->hwnd(), StateOf(record, Foreground()));
    return 0;
  }
  void Complete(LRESULT, bool) override {}

 private:
  std::shared_ptr<Window> window_;
  bool reload_;
};

// Changes the placement of any window of the machine and tells its owner. False with
// ERROR_INVALID_WINDOW_HANDLE when there is no such window.
bool ChangePlacement(HWND hwnd, const std::function<void(WindowRecord&)>& change,
                     WindowRecord* before = nullptr) {
  if (auto window = FindLocalWindow(hwnd)) {
    {
      std::lock_guard<std::mutex> lock(window->mutex());
      if (before) *before = window->record;
      change(window->record);
    }
    window->Publish();
    NotifyStateChanged(window, false);
    return true;
  }
  auto table = CurrentWindowTable();
  std::optional<WindowRecord> changed;
  if (table && table->Update(hwnd, [&](WindowRecord& record) {
        if (before) *before = record;
        change(record);
        changed = record;
      })) {
    Frame frame;
    frame.kind = FrameKind::kNotify;
    frame.hwnd = hwnd;
    PostToProcess(table->Folder().parent_path(), changed->pid, std::move(frame));
    return true;
  }
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return false;
}

void Show(WindowRecord& record, int command) {
  switch (command) {
    case SW_HIDE:
      record.visible = false;
      return;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
      if (record.show != SW_SHOWMINIMIZED)
        record.restore_maximized = record.show == SW_SHOWMAXIMIZED;
      record.show = SW_SHOWMINIMIZED;
      break;
    case SW_SHOWMAXIMIZED:
      record.show = SW_SHOWMAXIMIZED;
      break;
    case SW_RESTORE:
      record.show = record.show == SW_SHOWMINIMIZED && record.restore_maximized ? SW_SHOWMAXIMIZED
                                                                                : SW_SHOWNORMAL;
      record.restore_maximized = false;
      break;
    case SW_SHOW:
    case SW_SHOWNA:
      break;
    default:  // SW_SHOWNORMAL, SW_SHOWNOACTIVATE, SW_SHOWDEFAULT
      record.show = SW_SHOWNORMAL;
      record.restore_maximized = false;
      break;
  }
  record.visible = true;
}

}  // namespace

void NotifyStateChanged(const std::shared_ptr<Window>& window, bool reload) {
  auto change = std::make_shared<StateChange>(window, reload);
  if (window->OnCallingThread()) {
    change->Run();
  } else {
    window->queue()->PushSent(change);
  }
}

}  // namespace w98::internal

using w98::internal::ChangePlacement;
using w98::internal::EnterCall;
using w98::internal::RecordOf;

W98API BOOL WINAPI GetWindowPlacement(HWND hWnd, WINDOWPLACEMENT* lpwndpl) {
  EnterCall();
  if (lpwndpl == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto record = RecordOf(hWnd);
  if (!record) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  lpwndpl->length = sizeof(WINDOWPLACEMENT);
  lpwndpl->flags = 0;
  lpwndpl->showCmd = record->show;
  lpwndpl->ptMinPosition = record->min_position;
  lpwndpl->ptMaxPosition = record->max_position;
  lpwndpl->rcNormalPosition = record->normal;
  return TRUE;
}

W98API BOOL WINAPI SetWindowPlacement(HWND hWnd, const WINDOWPLACEMENT* lpwndpl) {
  EnterCall();
  if (lpwndpl == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const WINDOWPLACEMENT placement = *lpwndpl;
  return ChangePlacement(hWnd, [&](w98::internal::WindowRecord& record) {
    record.normal = placement.rcNormalPosition;
    record.min_position = placement.ptMinPosition;
    record.max_position = placement.ptMaxPosition;
    w98::internal::Show(record, static_cast<int>(placement.showCmd));
  });
}

W98API BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  EnterCall();
  w98::internal::WindowRecord before;
  if (!ChangePlacement(
          hWnd, [&](w98::internal::WindowRecord& record) { w98::internal::Show(record, nCmdShow); },
          &before))
    return FALSE;
  return before.visible ? TRUE : FALSE;
}

W98API BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                                UINT uFlags) {
  EnterCall();
  return ChangePlacement(hWnd, [&](w98::internal::WindowRecord& record) {
    if (!(uFlags & SWP_NOZORDER)) {
      if (hWndInsertAfter == HWND_TOPMOST) record.topmost = true;
      if (hWndInsertAfter == HWND_NOTOPMOST) record.topmost = false;
    }
    if (record.show == SW_SHOWNORMAL) {
      if (!(uFlags & SWP_NOMOVE)) {
        const LONG width = record.normal.right - record.normal.left;
        const LONG height = record.normal.bottom - record.normal.top;
        record.normal = RECT{X, Y, X + width, Y + height};
      }
      if (!(uFlags & SWP_NOSIZE)) {
        record.normal.right = record.normal.left + cx;
        record.normal.bottom = record.normal.top + cy;
      }
    }
    if (uFlags & SWP_SHOWWINDOW) record.visible = true;
    if (uFlags & SWP_HIDEWINDOW) record.visible = false;
  });
}

W98API BOOL WINAPI SetForegroundWindow(HWND hWnd) {
  EnterCall();
  if (!RecordOf(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (auto table = w98::internal::CurrentWindowTable()) {
    table->SetForeground(hWnd);
  } else {
    std::lock_guard<std::mutex> lock(w98::internal::g_foreground_mutex);
    w98::internal::g_foreground_without_machine = hWnd;
  }
  // The owner's hook learns that its window came to the front.
  return ChangePlacement(hWnd, [](w98::internal::WindowRecord&) {});
}

W98API HWND WINAPI GetForegroundWindow(void) {
  EnterCall();
  return w98::internal::Foreground();
}

W98API BOOL WINAPI IsIconic(HWND hWnd) {
  EnterCall();
  auto record = RecordOf(hWnd);
  return record && record->show == SW_SHOWMINIMIZED ? TRUE : FALSE;
}

W98API BOOL WINAPI IsZoomed(HWND hWnd) {
  EnterCall();
  auto record = RecordOf(hWnd);
  return record && record->show == SW_SHOWMAXIMIZED ? TRUE : FALSE;
}

W98API BOOL WINAPI IsWindowVisible(HWND hWnd) {
  EnterCall();
  auto record = RecordOf(hWnd);
  return record && record->visible ? TRUE : FALSE;
}

namespace w98 {

bool SetWindowStateHook(HWND hwnd, WindowStateHook hook) {
  internal::EnterCall();
  auto window = internal::FindLocalWindow(hwnd);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  std::lock_guard<std::mutex> lock(window->mutex());
  window->state_hook = std::move(hook);
  return true;
}

bool ReportWindowState(HWND hwnd, const WindowState& state) {
  internal::EnterCall();
  auto window = internal::FindLocalWindow(hwnd);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(window->mutex());
    internal::WindowRecord& record = window->record;
    if (state.show_cmd == SW_SHOWMINIMIZED && record.show != SW_SHOWMINIMIZED)
      record.restore_maximized = record.show == SW_SHOWMAXIMIZED;
    record.show = state.show_cmd;
    record.visible = state.visible;
    record.topmost = state.topmost;
    record.normal = state.normal_position;
  }
  window->Publish();
  if (state.foreground) {
    if (auto table = window->table()) {
      table->SetForeground(hwnd);
    } else {
      std::lock_guard<std::mutex> lock(internal::g_foreground_mutex);
      internal::g_foreground_without_machine = hwnd;
    }
  }
  return true;
}

}  // namespace w98
