#include "completion_window.h"

#include <chrono>

namespace quillow {
namespace {

constexpr char kClassName[] = "QuillowCompletionWindow";
CompletionWindow* g_window = nullptr;

}  // namespace

CompletionWindow::~CompletionWindow() {
  if (thread_ == nullptr) return;
  if (window_ != nullptr) PostMessageA(window_, WM_CLOSE, 0, 0);
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  g_window = nullptr;
}

bool CompletionWindow::Start(std::string* error) {
  g_window = this;
  DWORD id = 0;
  thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, &id);
  if (thread_ == nullptr) {
    *error = "cannot start the message thread";
    return false;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return ready_; });
  if (window_ == nullptr) {
    *error = error_;
    return false;
  }
  return true;
}

DWORD WINAPI CompletionWindow::ThreadMain(LPVOID parameter) {
  auto* self = static_cast<CompletionWindow*>(parameter);
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.lpszClassName = kClassName;
  RegisterClassA(&window_class);
  HWND window =
      CreateWindowExA(0, kClassName, "quillow", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->window_ = window;
    if (window == nullptr)
      self->error_ =
          "cannot create the message window (error " + std::to_string(GetLastError()) + ")";
    self->ready_ = true;
  }
  self->changed_.notify_all();
  if (window == nullptr) return 1;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

LRESULT CALLBACK CompletionWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  switch (message) {
    case WM_COPYDATA: {
      const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
      if (record != nullptr && g_window != nullptr)
        g_window->Deliver(static_cast<DWORD>(record->dwData));
      return TRUE;
    }
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

void CompletionWindow::Deliver(DWORD code) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    codes_.push_back(code);
  }
  changed_.notify_all();
}

DWORD CompletionWindow::Wait(const std::function<void()>& tick, unsigned interval_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (codes_.empty()) {
    if (changed_.wait_for(lock, std::chrono::milliseconds(interval_ms),
                          [this] { return !codes_.empty(); }))
      break;
    lock.unlock();
    if (tick) tick();
    lock.lock();
  }
  const DWORD code = codes_.front();
  codes_.pop_front();
  return code;
}

bool CompletionWindow::WaitFor(DWORD* code, unsigned timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                         [this] { return !codes_.empty(); }))
    return false;
  *code = codes_.front();
  codes_.pop_front();
  return true;
}

}  // namespace quillow
