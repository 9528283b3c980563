// A thread's message queue: messages posted to it, messages sent to it from other threads and
// processes (run when the thread retrieves messages), WM_QUIT, and a descriptor that another
// event loop can watch.
#ifndef W98_SRC_WINDOW_MESSAGE_QUEUE_H
#define W98_SRC_WINDOW_MESSAGE_QUEUE_H

#include <deque>
#include <memory>
#include <mutex>

#include "thread/thread_state.h"
#include "w98/winuser.h"

namespace w98::internal {

// Something the queue's thread must run: a message sent from another thread or process, or a
// window-state change to apply.
class QueueItem {
 public:
  virtual ~QueueItem() = default;
  // Runs on the owner thread.
  virtual LRESULT Run() = 0;
  // Called once: after Run (delivered), or when the item is dropped unrun (the thread ended).
  virtual void Complete(LRESULT result, bool delivered) = 0;
};

class MessageQueue {
 public:
  explicit MessageQueue(std::shared_ptr<ThreadState> owner);
  ~MessageQueue();

  // The calling thread's queue, created on first use.
  static std::shared_ptr<MessageQueue> ForCurrentThread();
  // The calling thread's queue if it has one.
  static std::shared_ptr<MessageQueue> CurrentIfExists();
  // The queue of live thread `id` of this process (created for it when needed), or nullptr.
  static std::shared_ptr<MessageQueue> ForThread(DWORD id);

  ThreadState& Owner() const { return *owner_; }

  // ---- Any thread ----
  // False when the thread has ended.
  bool Post(const MSG& message);
  bool PushSent(std::shared_ptr<QueueItem> item);
  // Removes an item that has not started running; false when it already ran or runs.
  bool CancelSent(const QueueItem* item);

  // ---- The owner thread ----
  void PostQuit(int exit_code);
  // Runs every waiting sent item in order; true when at least one ran.
  bool DispatchSent();
  // The first posted message that passes the filter (hwnd: 0 any, (HWND)-1 thread messages
  // only; min = max = 0: every message), removed when `remove`. WM_QUIT comes after every
  // other posted message.
  bool TakePosted(HWND hwnd, UINT min, UINT max, bool remove, MSG* out);
  // True when a posted message or a sent item waits.
  bool HasInput();
  // Drops posted messages for a window that is being destroyed.
  void DropMessagesFor(HWND hwnd);
  // Readable while a message waits (created on first call); owned by the queue.
  int Descriptor();
  // The thread ended: completes waiting sent items unrun and refuses new ones.
  void Close();

 private:
  void SyncDescriptor();  // with mutex_ held
  void Wake();            // with mutex_ held

  std::shared_ptr<ThreadState> owner_;
  std::mutex mutex_;
  std::deque<MSG> posted_;
  std::deque<std::shared_ptr<QueueItem>> sent_;
  bool quit_ = false;
  int quit_code_ = 0;
  bool closed_ = false;
  int event_fd_ = -1;
  bool event_armed_ = false;
};

}  // namespace w98::internal

#endif  // W98_SRC_WINDOW_MESSAGE_QUEUE_H
