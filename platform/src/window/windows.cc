// Window classes and windows: creation, destruction, procedures and subclassing, long values,
// captions, and where the machine's other processes find them.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_map>

#include "core/api.h"
#include "core/machine.h"
#include "core/text.h"
#include "process/host_process.h"
#include "w98/winbase.h"
#include "window/window.h"

namespace w98::internal {
namespace {

struct WindowClass {
  std::string name;
  WNDPROC proc;
  int wnd_extra;
  HINSTANCE instance;
};

struct Registry {
  std::mutex mutex;
  std::map<std::string, WindowClass> classes;  // by upper-case name
  ATOM next_atom = 0xC000;
  std::unordered_map<HWND, std::shared_ptr<Window>> windows;
  std::uintptr_t next_local_handle = 0x20000;  // handles of a process without a machine
  std::shared_ptr<WindowTable> table;
  std::filesystem::path table_run_folder;
};

Registry& Reg() {
  static Registry* registry = new Registry;
  return *registry;
}

thread_local bool t_forgets_windows_at_exit = false;

// When a thread ends, its windows go (without messages: their procedures may belong to
// objects that no longer exist).
void ForgetWindowsAtThreadExit() {
  if (t_forgets_windows_at_exit) return;
  t_forgets_windows_at_exit = true;
  ThreadState& self = ThreadState::Current();
  const DWORD id = self.Id();
  self.AddExitHook([id] {
    for (const auto& window : LocalWindows())
      if (window->thread_id() == id) ForgetWindow(window);
  });
}

void RemoveOwnEntriesAtExit() {
  static const bool registered = [] {
    std::atexit([] {
      for (const auto& window : LocalWindows())
        if (window->table()) window->table()->Remove(window->hwnd());
    });
    return true;
  }();
  (void)registered;
}

}  // namespace

bool Window::OnCallingThread() const {
  const ThreadState* self = ThreadState::CurrentIfKnown();
  return self != nullptr && self == &queue_->Owner();
}

void Window::Publish() {
  if (!table_) return;
  WindowRecord copy;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    copy = record;
  }
  table_->Put(copy);
}

std::shared_ptr<Window> FindLocalWindow(HWND hwnd) {
  Registry& r = Reg();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.windows.find(hwnd);
  return it == r.windows.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<Window>> LocalWindows() {
  Registry& r = Reg();
  std::lock_guard<std::mutex> lock(r.mutex);
  std::vector<std::shared_ptr<Window>> all;
  for (auto& [hwnd, window] : r.windows) all.push_back(window);
  return all;
}

std::shared_ptr<WindowTable> CurrentWindowTable() {
  auto machine = Machine::Current();
  if (!machine) return nullptr;
  const std::filesystem::path run = machine->RunFolder();
  Registry& r = Reg();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (!r.table || r.table_run_folder != run) {
    r.table = std::make_shared<WindowTable>(run);
    r.table_run_folder = run;
  }
  return r.table;
}

std::optional<WindowRecord> RecordOf(HWND hwnd) {
  if (auto window = FindLocalWindow(hwnd)) {
    std::lock_guard<std::mutex> lock(window->mutex());
    return window->record;
  }
  if (auto table = CurrentWindowTable()) return table->Get(hwnd);
  return std::nullopt;
}

LRESULT CallWindowProcedure(const std::shared_ptr<Window>& window, UINT message, WPARAM wparam,
                            LPARAM lparam) {
  WNDPROC proc;
  {
    std::lock_guard<std::mutex> lock(window->mutex());
    proc = window->proc;
  }
  if (proc == nullptr || !FindLocalWindow(window->hwnd())) return 0;
  return proc(window->hwnd(), message, wparam, lparam);
}

void ForgetWindow(const std::shared_ptr<Window>& window) {
  {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.windows.erase(window->hwnd());
  }
  window->queue()->DropMessagesFor(window->hwnd());
  if (window->table()) window->table()->Remove(window->hwnd());
}

}  // namespace w98::internal

namespace {

using w98::internal::CallWindowProcedure;
using w98::internal::EnterCall;
using w98::internal::FindLocalWindow;
using w98::internal::RecordOf;
using w98::internal::Window;

// The window for a call that only its own process may make: sets the last error otherwise.
std::shared_ptr<Window> OwnWindow(HWND hwnd) {
  if (auto window = FindLocalWindow(hwnd)) return window;
  SetLastError(RecordOf(hwnd) ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
  return nullptr;
}

// Creation ends early when WM_NCCREATE or WM_CREATE refuses; the window is then removed.
HWND Refuse(const std::shared_ptr<Window>& window) {
  w98::internal::ForgetWindow(window);
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

}  // namespace

W98API ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
  EnterCall();
  if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr ||
      *lpWndClass->lpszClassName == '\0' || lpWndClass->lpfnWndProc == nullptr ||
      lpWndClass->cbWndExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto& r = w98::internal::Reg();
  std::lock_guard<std::mutex> lock(r.mutex);
  const std::string key = w98::internal::UpperCase(lpWndClass->lpszClassName);
  if (r.classes.count(key)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  r.classes[key] = {lpWndClass->lpszClassName, lpWndClass->lpfnWndProc, lpWndClass->cbWndExtra,
                    lpWndClass->hInstance};
  return r.next_atom++;
}

W98API HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                                   DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                                   HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                                   LPVOID lpParam) {
  EnterCall();
  using namespace w98::internal;
  if (lpClassName == nullptr) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  WindowClass window_class;
  std::shared_ptr<WindowTable> table = CurrentWindowTable();
  HWND hwnd;
  {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.classes.find(UpperCase(lpClassName));
    if (it == r.classes.end()) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    window_class = it->second;
    if (!table) {
      hwnd = reinterpret_cast<HWND>(r.next_local_handle);
      r.next_local_handle += 2;
    }
  }
  if (table) {
    EnsureReachable(table);
    hwnd = table->NewHandle();
  }

  auto window = std::make_shared<Window>(hwnd, MessageQueue::ForCurrentThread(), table);
  window->proc = window_class.proc;
  window->instance = hInstance;
  window->id = reinterpret_cast<LONG_PTR>(hMenu);
  window->extra.assign(static_cast<size_t>(window_class.wnd_extra), 0);
  WindowRecord& rec = window->record;
  rec.hwnd = hwnd;
  rec.pid = ::getpid();
  rec.pid_start = OwnStartTime();
  rec.thread_id = window->thread_id();
  rec.parent = hWndParent;
  rec.class_name = window_class.name;
  rec.title = lpWindowName != nullptr ? lpWindowName : "";
  rec.style = dwStyle;
  rec.ex_style = dwExStyle;
  rec.show = (dwStyle & WS_MINIMIZE)   ? SW_SHOWMINIMIZED
             : (dwStyle & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED
                                       : SW_SHOWNORMAL;
  rec.visible = (dwStyle & WS_VISIBLE) != 0;
  rec.topmost = (dwExStyle & WS_EX_TOPMOST) != 0;
  const int x = X == CW_USEDEFAULT ? 0 : X, y = X == CW_USEDEFAULT ? 0 : Y;
  const int cx = nWidth == CW_USEDEFAULT ? 640 : nWidth;
  const int cy = nWidth == CW_USEDEFAULT ? 480 : nHeight;
  rec.normal = RECT{x, y, x + cx, y + cy};
  {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.windows[hwnd] = window;
  }
  ForgetWindowsAtThreadExit();
  if (table) {
    RemoveOwnEntriesAtExit();
    window->Publish();
  }

  CREATESTRUCTA create{
      lpParam,      hInstance,   hMenu,    hWndParent, cy, cx, y, x, static_cast<LONG>(dwStyle),
      lpWindowName, lpClassName, dwExStyle};
  const LPARAM create_param = reinterpret_cast<LPARAM>(&create);
  if (!CallWindowProcedure(window, WM_NCCREATE, 0, create_param)) return Refuse(window);
  if (CallWindowProcedure(window, WM_CREATE, 0, create_param) == -1) return Refuse(window);
  return hwnd;
}

W98API BOOL WINAPI DestroyWindow(HWND hWnd) {
  EnterCall();
  auto window = OwnWindow(hWnd);
  if (!window) return FALSE;
  if (!window->OnCallingThread()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(window->mutex());
    if (window->destroying) return TRUE;  // DestroyWindow from its own WM_DESTROY
    window->destroying = true;
  }
  CallWindowProcedure(window, WM_DESTROY, 0, 0);
  CallWindowProcedure(window, WM_NCDESTROY, 0, 0);
  w98::internal::ForgetWindow(window);
  return TRUE;
}

W98API LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  EnterCall();
  switch (Msg) {
    case WM_NCCREATE:
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_SETTEXT: {
      auto window = FindLocalWindow(hWnd);
      if (!window) return FALSE;
      {
        std::lock_guard<std::mutex> lock(window->mutex());
        window->record.title = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
      }
      window->Publish();
      return TRUE;
    }
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: {
      auto record = RecordOf(hWnd);
      if (!record) return 0;
      if (Msg == WM_GETTEXTLENGTH) return static_cast<LRESULT>(record->title.size());
      if (wParam == 0 || lParam == 0) return 0;
      return static_cast<LRESULT>(
          w98::internal::CopyToBuffer(record->title, reinterpret_cast<char*>(lParam), wParam));
    }
    default:
      return 0;
  }
}

W98API LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                      LPARAM lParam) {
  EnterCall();
  if (lpPrevWndFunc == nullptr) return 0;
  return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

W98API BOOL WINAPI IsWindow(HWND hWnd) {
  EnterCall();
  return RecordOf(hWnd) ? TRUE : FALSE;
}

W98API int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  EnterCall();
  if (lpString == nullptr || nMaxCount <= 0) return 0;
  lpString[0] = '\0';
  // The window's own thread asks its procedure; anyone else reads the caption the machine
  // keeps, so that a thread that is not pumping messages never blocks the caller.
  if (auto window = FindLocalWindow(hWnd); window && window->OnCallingThread())
    return static_cast<int>(CallWindowProcedure(window, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                                reinterpret_cast<LPARAM>(lpString)));
  auto record = RecordOf(hWnd);
  if (!record) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return static_cast<int>(
      w98::internal::CopyToBuffer(record->title, lpString, static_cast<size_t>(nMaxCount)));
}

W98API BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  EnterCall();
  if (!RecordOf(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString ? lpString : ""))
             ? TRUE
             : FALSE;
}

W98API LONG_PTR WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  EnterCall();
  auto window = OwnWindow(hWnd);
  if (!window) return 0;
  bool publish = false;
  LONG_PTR previous = 0;
  {
    std::lock_guard<std::mutex> lock(window->mutex());
    switch (nIndex) {
      case GWL_WNDPROC:
        if (dwNewLong == 0) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(window->proc);
        window->proc = reinterpret_cast<WNDPROC>(dwNewLong);
        break;
      case GWL_USERDATA:
        previous = window->user_data;
        window->user_data = dwNewLong;
        break;
      case GWL_ID:
        previous = window->id;
        window->id = dwNewLong;
        break;
      case GWL_HINSTANCE:
        previous = reinterpret_cast<LONG_PTR>(window->instance);
        window->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
        break;
      case GWL_STYLE:
        previous = static_cast<LONG_PTR>(window->record.style);
        window->record.style = static_cast<DWORD>(dwNewLong);
        publish = true;
        break;
      case GWL_EXSTYLE:
        previous = static_cast<LONG_PTR>(window->record.ex_style);
        window->record.ex_style = static_cast<DWORD>(dwNewLong);
        publish = true;
        break;
      default: {
        // Extra window bytes hold 32-bit LONGs, as SetWindowLongA stores them.
        if (nIndex < 0 || static_cast<size_t>(nIndex) + sizeof(LONG) > window->extra.size()) {
          SetLastError(ERROR_INVALID_INDEX);
          return 0;
        }
        LONG old_value, new_value = static_cast<LONG>(dwNewLong);
        std::memcpy(&old_value, window->extra.data() + nIndex, sizeof old_value);
        std::memcpy(window->extra.data() + nIndex, &new_value, sizeof new_value);
        previous = old_value;
      }
    }
  }
  if (publish) window->Publish();
  return previous;
}

W98API LONG_PTR WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
  EnterCall();
  if (nIndex == GWL_STYLE || nIndex == GWL_EXSTYLE) {
    auto record = RecordOf(hWnd);
    if (!record) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    return static_cast<LONG_PTR>(nIndex == GWL_STYLE ? record->style : record->ex_style);
  }
  auto window = OwnWindow(hWnd);
  if (!window) return 0;
  std::lock_guard<std::mutex> lock(window->mutex());
  switch (nIndex) {
    case GWL_WNDPROC:
      return reinterpret_cast<LONG_PTR>(window->proc);
    case GWL_USERDATA:
      return window->user_data;
    case GWL_ID:
      return window->id;
    case GWL_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(window->instance);
    default: {
      if (nIndex < 0 || static_cast<size_t>(nIndex) + sizeof(LONG) > window->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
      }
      LONG value;
      std::memcpy(&value, window->extra.data() + nIndex, sizeof value);
      return value;
    }
  }
}

W98API DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  EnterCall();
  auto record = RecordOf(hWnd);
  if (!record) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (lpdwProcessId != nullptr) *lpdwProcessId = static_cast<DWORD>(record->pid);
  return record->thread_id;
}

W98API HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
  EnterCall();
  std::vector<w98::internal::WindowRecord> records;
  if (auto table = w98::internal::CurrentWindowTable()) {
    records = table->All();
  } else {
    for (const auto& window : w98::internal::LocalWindows()) {
      std::lock_guard<std::mutex> lock(window->mutex());
      records.push_back(window->record);
    }
  }
  for (const auto& record : records) {
    if (!record.TopLevel()) continue;
    if (lpClassName != nullptr && !w98::internal::EqualsNoCase(record.class_name, lpClassName))
      continue;
    if (lpWindowName != nullptr && !w98::internal::EqualsNoCase(record.title, lpWindowName))
      continue;
    return record.hwnd;
  }
  return nullptr;
}
