// A hidden window that receives the engine's completion codes (WM_COPYDATA), owned by a thread
// of its own that pumps its messages, so the main thread can wait and show progress meanwhile.
#ifndef QUILLOW_APP_CLI_COMPLETION_WINDOW_H
#define QUILLOW_APP_CLI_COMPLETION_WINDOW_H

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include <w98/windows.h>

namespace quillow {

class CompletionWindow {
 public:
  CompletionWindow() = default;
  ~CompletionWindow();
  CompletionWindow(const CompletionWindow&) = delete;
  CompletionWindow& operator=(const CompletionWindow&) = delete;

  // Starts the thread and creates the window; false (with a reason) on failure. One per
  // process.
  bool Start(std::string* error);
  HWND window() const { return window_; }

  // Waits for the next completion code, calling `tick` every `interval_ms` while waiting.
  DWORD Wait(const std::function<void()>& tick, unsigned interval_ms);
  // Waits at most `timeout_ms` for the next code; false when none came.
  bool WaitFor(DWORD* code, unsigned timeout_ms);

 private:
  static DWORD WINAPI ThreadMain(LPVOID self);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Deliver(DWORD code);

  HANDLE thread_ = nullptr;
  HWND window_ = nullptr;
  std::string error_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ready_ = false;
  std::deque<DWORD> codes_;
};

}  // namespace quillow

#endif  // QUILLOW_APP_CLI_COMPLETION_WINDOW_H
