// Sending, posting and retrieving messages, within a thread, across threads and across the
// processes of the machine.
#include <algorithm>
#include <cstring>

#include "core/api.h"
#include "core/text.h"
#include "w98/winbase.h"
#include "window/answer.h"
#include "window/messenger.h"
#include "window/window.h"

namespace w98::internal {
namespace {

constexpr size_t kMaxTextAnswer = 1u << 20;  // WM_GETTEXT buffers carried between processes

// A message sent from another thread of this process.
class LocalSend final : public QueueItem {
 public:
  LocalSend(std::shared_ptr<Window> window, UINT message, WPARAM wparam, LPARAM lparam)
      : window_(std::move(window)), message_(message), wparam_(wparam), lparam_(lparam) {}
  LRESULT Run() override { return CallWindowProcedure(window_, message_, wparam_, lparam_); }
  void Complete(LRESULT result, bool delivered) override { answer.Set(result, delivered); }
  Answer answer;

 private:
  std::shared_ptr<Window> window_;
  UINT message_;
  WPARAM wparam_;
  LPARAM lparam_;
};

// A message sent from another process: its pointer argument rebuilt from the frame's payload.
class RemoteSend final : public QueueItem {
 public:
  RemoteSend(std::shared_ptr<Window> window, Frame frame, std::shared_ptr<Replier> replier)
      : window_(std::move(window)), frame_(std::move(frame)), replier_(std::move(replier)) {}

  LRESULT Run() override {
    LPARAM lparam = frame_.lparam;
    WPARAM wparam = frame_.wparam;
    COPYDATASTRUCT copy{};
    switch (frame_.message) {
      case WM_COPYDATA:
        if (frame_.lparam != 0 && frame_.payload.size() >= sizeof(ULONG_PTR)) {
          std::memcpy(&copy.dwData, frame_.payload.data(), sizeof copy.dwData);
          copy.cbData = static_cast<DWORD>(frame_.payload.size() - sizeof copy.dwData);
          copy.lpData = copy.cbData ? frame_.payload.data() + sizeof copy.dwData : nullptr;
          lparam = reinterpret_cast<LPARAM>(&copy);
        }
        break;
      case WM_SETTEXT:
        if (frame_.lparam != 0) lparam = reinterpret_cast<LPARAM>(frame_.payload.c_str());
        break;
      case WM_GETTEXT:
        text_.assign(std::min<size_t>(frame_.wparam, kMaxTextAnswer), '\0');
        wparam = text_.size();
        lparam = text_.empty() ? 0 : reinterpret_cast<LPARAM>(text_.data());
        break;
      default:
        break;
    }
    return CallWindowProcedure(window_, frame_.message, wparam, lparam);
  }

  void Complete(LRESULT result, bool delivered) override {
    std::string answer;
    if (frame_.message == WM_GETTEXT && delivered)
      answer = text_.substr(0, std::min(text_.size(), std::strlen(text_.c_str())));
    replier_->Reply(result, delivered, std::move(answer));
  }

 private:
  std::shared_ptr<Window> window_;
  Frame frame_;
  std::shared_ptr<Replier> replier_;
  std::string text_;
};

// Puts what a pointer argument points to into the frame.
void Marshal(UINT message, WPARAM wparam, LPARAM lparam, Frame& frame) {
  if (lparam == 0) return;
  if (message == WM_COPYDATA) {
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
    frame.payload.assign(reinterpret_cast<const char*>(&copy->dwData), sizeof copy->dwData);
    if (copy->cbData > 0 && copy->lpData != nullptr)
      frame.payload.append(static_cast<const char*>(copy->lpData), copy->cbData);
  } else if (message == WM_SETTEXT) {
    frame.payload = reinterpret_cast<const char*>(lparam);
  } else if (message == WM_GETTEXT) {
    frame.wparam = std::min<WPARAM>(wparam, kMaxTextAnswer);
  }
}

// Messages whose argument points into the sender's memory cannot be posted.
bool NeedsSend(UINT message) {
  return message == WM_COPYDATA || message == WM_SETTEXT || message == WM_GETTEXT ||
         message == WM_CREATE || message == WM_NCCREATE;
}

void HandleIncoming(Frame frame, std::shared_ptr<Replier> replier) {
  auto window = FindLocalWindow(frame.hwnd);
  if (!window) {
    if (replier) replier->Reply(0, false);
    return;
  }
  switch (frame.kind) {
    case FrameKind::kSend:
      window->queue()->PushSent(std::make_shared<RemoteSend>(window, std::move(frame), replier));
      break;
    case FrameKind::kPost: {
      MSG msg{};
      msg.hwnd = frame.hwnd;
      msg.message = frame.message;
      msg.wParam = frame.wparam;
      msg.lParam = frame.lparam;
      msg.time = GetTickCount();
      window->queue()->Post(msg);
      break;
    }
    case FrameKind::kNotify:
      NotifyStateChanged(window, /*reload=*/true);
      break;
    case FrameKind::kReply:
      break;
  }
}

// Retrieval shared by GetMessageA, PeekMessageA and WaitMessage.
bool Retrieve(MessageQueue& queue, LPMSG msg, HWND hwnd, UINT min, UINT max, bool remove,
              bool wait) {
  ThreadState& self = queue.Owner();
  for (;;) {
    queue.DispatchSent();
    if (queue.TakePosted(hwnd, min, max, remove, msg)) return true;
    if (!wait) return false;
    if (self.Park(std::nullopt) == ParkResult::kTerminated) {
      self.ThrowIfTerminated();
      SetLastError(ERROR_OPERATION_ABORTED);
      return false;
    }
  }
}

bool ValidFilter(HWND hwnd) {
  if (hwnd == nullptr || hwnd == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) return true;
  if (FindLocalWindow(hwnd)) return true;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return false;
}

}  // namespace

void EnsureReachable(const std::shared_ptr<WindowTable>& table) {
  ListenForMessages(table->Folder().parent_path(), HandleIncoming);
}

bool SendWithin(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, const Deadline& deadline,
                LRESULT* result) {
  *result = 0;
  if (auto window = FindLocalWindow(hwnd)) {
    if (window->OnCallingThread()) {
      *result = CallWindowProcedure(window, message, wparam, lparam);
      return true;
    }
    auto item = std::make_shared<LocalSend>(window, message, wparam, lparam);
    auto& queue = window->queue();
    if (!queue->PushSent(item)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return false;
    }
    const QueueItem* raw = item.get();
    if (!item->answer.Await([&] { return queue->CancelSent(raw); }, deadline)) {
      if (queue->CancelSent(raw)) SetLastError(ERROR_TIMEOUT);
      return false;
    }
    *result = item->answer.result();
    return item->answer.delivered();
  }
  auto table = CurrentWindowTable();
  auto record = table ? table->Get(hwnd) : std::nullopt;
  if (!record) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  Frame frame;
  frame.hwnd = hwnd;
  frame.message = message;
  frame.wparam = wparam;
  frame.lparam = lparam;
  Marshal(message, wparam, lparam, frame);
  RemoteAnswer answer =
      SendToProcess(table->Folder().parent_path(), record->pid, std::move(frame), deadline);
  if (!answer.delivered) {
    SetLastError(answer.reached ? ERROR_INVALID_WINDOW_HANDLE : ERROR_TIMEOUT);
    return false;
  }
  *result = answer.result;
  if (message == WM_GETTEXT && lparam != 0 && wparam > 0) {
    CopyToBuffer(answer.payload, reinterpret_cast<char*>(lparam), wparam);
    *result = static_cast<LRESULT>(std::min<size_t>(answer.payload.size(), wparam - 1));
  }
  return true;
}

bool PostTo(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (auto window = FindLocalWindow(hwnd)) {
    MSG msg{};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wparam;
    msg.lParam = lparam;
    msg.time = GetTickCount();
    if (window->queue()->Post(msg)) return true;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  auto table = CurrentWindowTable();
  auto record = table ? table->Get(hwnd) : std::nullopt;
  if (!record) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  Frame frame;
  frame.kind = FrameKind::kPost;
  frame.hwnd = hwnd;
  frame.message = message;
  frame.wparam = wparam;
  frame.lparam = lparam;
  if (PostToProcess(table->Folder().parent_path(), record->pid, std::move(frame))) return true;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return false;
}

}  // namespace w98::internal

using w98::internal::EnterCall;
using w98::internal::MessageQueue;

W98API LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  EnterCall();
  LRESULT result = 0;
  w98::internal::SendWithin(hWnd, Msg, wParam, lParam, std::nullopt, &result);
  return result;
}

W98API BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  EnterCall();
  if (w98::internal::NeedsSend(Msg)) {
    SetLastError(ERROR_MESSAGE_SYNC_ONLY);
    return FALSE;
  }
  if (hWnd == nullptr) return PostThreadMessageA(GetCurrentThreadId(), Msg, wParam, lParam);
  return w98::internal::PostTo(hWnd, Msg, wParam, lParam) ? TRUE : FALSE;
}

W98API BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  EnterCall();
  if (w98::internal::NeedsSend(Msg)) {
    SetLastError(ERROR_MESSAGE_SYNC_ONLY);
    return FALSE;
  }
  auto queue = MessageQueue::ForThread(idThread);
  MSG msg{};
  msg.message = Msg;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = GetTickCount();
  if (!queue || !queue->Post(msg)) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  return TRUE;
}

W98API BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  EnterCall();
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!w98::internal::ValidFilter(hWnd)) return -1;
  auto queue = MessageQueue::ForCurrentThread();
  if (!w98::internal::Retrieve(*queue, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true, true))
    return -1;
  return lpMsg->message == WM_QUIT ? FALSE : TRUE;
}

W98API BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                UINT wRemoveMsg) {
  EnterCall();
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!w98::internal::ValidFilter(hWnd)) return FALSE;
  auto queue = MessageQueue::ForCurrentThread();
  return w98::internal::Retrieve(*queue, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax,
                                 (wRemoveMsg & PM_REMOVE) != 0, false)
             ? TRUE
             : FALSE;
}

W98API BOOL WINAPI WaitMessage(void) {
  EnterCall();
  auto queue = MessageQueue::ForCurrentThread();
  w98::internal::ThreadState& self = queue->Owner();
  for (;;) {
    if (queue->DispatchSent() || queue->HasInput()) return TRUE;
    if (self.Park(std::nullopt) == w98::internal::ParkResult::kTerminated) {
      self.ThrowIfTerminated();
      SetLastError(ERROR_OPERATION_ABORTED);
      return FALSE;
    }
  }
}

// No keyboard input reaches w98's windows, so there is never a key message to translate.
W98API BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
  EnterCall();
  (void)lpMsg;
  return FALSE;
}

W98API LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
  EnterCall();
  if (lpMsg == nullptr || lpMsg->hwnd == nullptr) return 0;
  auto window = w98::internal::FindLocalWindow(lpMsg->hwnd);
  if (!window || !window->OnCallingThread()) {
    SetLastError(window ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return w98::internal::CallWindowProcedure(window, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

W98API void WINAPI PostQuitMessage(int nExitCode) {
  EnterCall();
  MessageQueue::ForCurrentThread()->PostQuit(nExitCode);
}

namespace w98 {

int MessageQueueDescriptor() {
  internal::EnterCall();
  return internal::MessageQueue::ForCurrentThread()->Descriptor();
}

}  // namespace w98
