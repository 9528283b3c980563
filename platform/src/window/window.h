// Windows of this process: their procedures, long values, records and owner threads; and the
// way to reach any window of the machine.
#ifndef W98_SRC_WINDOW_WINDOW_H
#define W98_SRC_WINDOW_WINDOW_H

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "w98/messages.h"
#include "w98/winuser.h"
#include "window/message_queue.h"
#include "window/window_table.h"

namespace w98::internal {

class Window {
 public:
  Window(HWND hwnd, std::shared_ptr<MessageQueue> queue, std::shared_ptr<WindowTable> table)
      : hwnd_(hwnd), queue_(std::move(queue)), table_(std::move(table)) {}

  HWND hwnd() const { return hwnd_; }
  DWORD thread_id() const { return queue_->Owner().Id(); }
  const std::shared_ptr<MessageQueue>& queue() const { return queue_; }
  // The machine's table the window is entered in; null when the process has no machine.
  const std::shared_ptr<WindowTable>& table() const { return table_; }
  bool OnCallingThread() const;

  // Everything below is guarded by mutex().
  std::mutex& mutex() const { return mutex_; }
  WNDPROC proc = nullptr;
  WindowRecord record;
  LONG_PTR user_data = 0;
  LONG_PTR id = 0;
  HINSTANCE instance = nullptr;
  std::vector<char> extra;  // cbWndExtra bytes
  w98::WindowStateHook state_hook;
  bool destroying = false;

  // Copies the record into the machine's table (no-op without a machine).
  void Publish();

 private:
  const HWND hwnd_;
  const std::shared_ptr<MessageQueue> queue_;
  const std::shared_ptr<WindowTable> table_;
  mutable std::mutex mutex_;
};

// A window of this process, or nullptr.
std::shared_ptr<Window> FindLocalWindow(HWND hwnd);
// Every window of this process.
std::vector<std::shared_ptr<Window>> LocalWindows();
// The window table of the current machine, or nullptr when the process has none.
std::shared_ptr<WindowTable> CurrentWindowTable();
// The record of any live window of the machine (this process's first), or nullopt.
std::optional<WindowRecord> RecordOf(HWND hwnd);

// Calls the window's current procedure (on its thread). 0 when the window is gone.
LRESULT CallWindowProcedure(const std::shared_ptr<Window>& window, UINT message, WPARAM wparam,
                            LPARAM lparam);

// Makes sure other processes of the machine can reach this process's windows.
void EnsureReachable(const std::shared_ptr<WindowTable>& table);

// Removes the window from this process and the machine (no messages sent).
void ForgetWindow(const std::shared_ptr<Window>& window);

// Sends a message to any window of the machine and waits for the answer until `deadline`.
// False (last error set) when the window is gone, its thread ended, or time ran out; *result
// is then 0.
bool SendWithin(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, const Deadline& deadline,
                LRESULT* result);
// Posts a message to any window of the machine.
bool PostTo(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// The placement of a window of this process changed: its state hook runs on its thread (at
// once when that is the calling thread). `reload` first takes the placement from the machine's
// table (another process changed it).
void NotifyStateChanged(const std::shared_ptr<Window>& window, bool reload);

}  // namespace w98::internal

#endif  // W98_SRC_WINDOW_WINDOW_H
