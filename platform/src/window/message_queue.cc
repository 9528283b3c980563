#include "window/message_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <unordered_map>

#include "core/clock.h"
#include "w98/winbase.h"

namespace w98::internal {
namespace {

struct QueueRegistry {
  std::mutex mutex;
  std::unordered_map<DWORD, std::shared_ptr<MessageQueue>> queues;
};

QueueRegistry& Queues() {
  static QueueRegistry* registry = new QueueRegistry;
  return *registry;
}

thread_local std::weak_ptr<MessageQueue> t_queue;

bool Passes(const MSG& m, HWND hwnd, UINT min, UINT max) {
  if (hwnd == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
    if (m.hwnd != nullptr) return false;
  } else if (hwnd != nullptr && m.hwnd != hwnd) {
    return false;
  }
  if (min == 0 && max == 0) return true;
  return m.message >= min && m.message <= max;
}

std::shared_ptr<MessageQueue> CreateFor(const std::shared_ptr<ThreadState>& thread) {
  QueueRegistry& r = Queues();
  std::shared_ptr<MessageQueue> queue;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    auto& slot = r.queues[thread->Id()];
    if (slot && &slot->Owner() == thread.get()) return slot;
    slot = std::make_shared<MessageQueue>(thread);
    queue = slot;
  }
  std::weak_ptr<MessageQueue> weak = queue;
  const DWORD id = thread->Id();
  thread->AddExitHook([weak, id] {
    if (auto q = weak.lock()) q->Close();
    QueueRegistry& reg = Queues();
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.queues.find(id);
    if (it != reg.queues.end() && it->second == weak.lock()) reg.queues.erase(it);
  });
  return queue;
}

}  // namespace

MessageQueue::MessageQueue(std::shared_ptr<ThreadState> owner) : owner_(std::move(owner)) {}

MessageQueue::~MessageQueue() {
  if (event_fd_ >= 0) ::close(event_fd_);
}

std::shared_ptr<MessageQueue> MessageQueue::ForCurrentThread() {
  if (auto queue = t_queue.lock()) return queue;
  auto queue = CreateFor(ThreadState::CurrentShared());
  t_queue = queue;
  return queue;
}

std::shared_ptr<MessageQueue> MessageQueue::CurrentIfExists() {
  return t_queue.lock();
}

std::shared_ptr<MessageQueue> MessageQueue::ForThread(DWORD id) {
  {
    QueueRegistry& r = Queues();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.queues.find(id);
    if (it != r.queues.end()) return it->second;
  }
  auto thread = ThreadState::Find(id);
  return thread ? CreateFor(thread) : nullptr;
}

void MessageQueue::Wake() {
  SyncDescriptor();
  owner_->Unpark();
}

bool MessageQueue::Post(const MSG& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return false;
  posted_.push_back(message);
  Wake();
  return true;
}

bool MessageQueue::PushSent(std::shared_ptr<QueueItem> item) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!closed_) {
      sent_.push_back(std::move(item));
      Wake();
      return true;
    }
  }
  item->Complete(0, false);
  return false;
}

bool MessageQueue::CancelSent(const QueueItem* item) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = sent_.begin(); it != sent_.end(); ++it) {
    if (it->get() == item) {
      sent_.erase(it);
      SyncDescriptor();
      return true;
    }
  }
  return false;
}

void MessageQueue::PostQuit(int exit_code) {
  std::lock_guard<std::mutex> lock(mutex_);
  quit_ = true;
  quit_code_ = exit_code;
  Wake();
}

bool MessageQueue::DispatchSent() {
  bool ran = false;
  for (;;) {
    std::shared_ptr<QueueItem> item;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (sent_.empty()) {
        SyncDescriptor();
        return ran;
      }
      item = std::move(sent_.front());
      sent_.pop_front();
    }
    ran = true;
    LRESULT result = 0;
    try {
      result = item->Run();
    } catch (...) {
      item->Complete(0, true);  // the sender must not wait for ever
      throw;
    }
    item->Complete(result, true);
  }
}

bool MessageQueue::TakePosted(HWND hwnd, UINT min, UINT max, bool remove, MSG* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = posted_.begin(); it != posted_.end(); ++it) {
    if (!Passes(*it, hwnd, min, max)) continue;
    *out = *it;
    if (remove) posted_.erase(it);
    SyncDescriptor();
    return true;
  }
  if (quit_ && ((min == 0 && max == 0) || (WM_QUIT >= min && WM_QUIT <= max))) {
    *out = MSG{};
    out->message = WM_QUIT;
    out->wParam = static_cast<WPARAM>(quit_code_);
    out->time = GetTickCount();
    if (remove) quit_ = false;
    SyncDescriptor();
    return true;
  }
  return false;
}

bool MessageQueue::HasInput() {
  std::lock_guard<std::mutex> lock(mutex_);
  return !posted_.empty() || !sent_.empty() || quit_;
}

void MessageQueue::DropMessagesFor(HWND hwnd) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(posted_, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
  SyncDescriptor();
}

int MessageQueue::Descriptor() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (event_fd_ < 0) {
    event_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    event_armed_ = false;
    SyncDescriptor();
  }
  return event_fd_;
}

void MessageQueue::SyncDescriptor() {
  if (event_fd_ < 0) return;
  const bool waiting = !posted_.empty() || !sent_.empty() || quit_;
  if (waiting && !event_armed_) {
    const std::uint64_t one = 1;
    if (::write(event_fd_, &one, sizeof one) == sizeof one) event_armed_ = true;
  } else if (!waiting && event_armed_) {
    std::uint64_t value;
    (void)::read(event_fd_, &value, sizeof value);
    event_armed_ = false;
  }
}

void MessageQueue::Close() {
  std::deque<std::shared_ptr<QueueItem>> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    dropped.swap(sent_);
    posted_.clear();
  }
  for (auto& item : dropped) item->Complete(0, false);
}

}  // namespace w98::internal
