// w98 extension (not Win32): letting another event loop and a UI toolkit live with w98's
// windows and messages.
//
// A toolkit's event loop (the Qt wizard) watches MessageQueueDescriptor() and, when it becomes
// readable, runs `while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);`
// (PeekMessageA also runs the messages that other threads and processes sent).
//
// A window's placement (ShowWindow, SetWindowPlacement, SetWindowPos, SetForegroundWindow, from
// any process of the machine) is kept in the machine's window table. A toolkit that shows the
// window registers a hook to apply those changes to its own window, and reports the changes the
// user makes so that other processes read them.
#ifndef W98_MESSAGES_H
#define W98_MESSAGES_H

#include <functional>

#include <w98/windef.h>

namespace w98 {

// A descriptor that is readable while a posted or sent message waits for the calling thread
// (its message queue is created if needed). Owned by w98: never close it; valid while the
// thread lives.
int MessageQueueDescriptor();

// A window's placement as the machine keeps it.
struct WindowState {
  UINT show_cmd = 1;  // SW_SHOWNORMAL, SW_SHOWMINIMIZED or SW_SHOWMAXIMIZED
  bool visible = false;
  bool topmost = false;
  bool foreground = false;           // the machine's foreground window
  RECT normal_position{0, 0, 0, 0};  // where the window is when neither minimised nor maximised
};

// Called on the window's own thread (directly when that thread made the change, otherwise
// while it retrieves messages) after the window's state changed. An empty hook removes it.
using WindowStateHook = std::function<void(HWND hwnd, const WindowState& state)>;

// Registers the hook of a window of this process. False (ERROR_INVALID_WINDOW_HANDLE) when the
// window is not one of this process's.
bool SetWindowStateHook(HWND hwnd, WindowStateHook hook);

// Records a change the toolkit made itself (the user minimised the window) without calling the
// hook. False when the window is not one of this process's.
bool ReportWindowState(HWND hwnd, const WindowState& state);

}  // namespace w98

#endif  // W98_MESSAGES_H
