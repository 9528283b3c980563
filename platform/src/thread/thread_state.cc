#include "thread/thread_state.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <exception>
#include <unordered_map>

#include "core/api.h"
#include "thread/mutex.h"
#include "w98/thread.h"
#include "w98/winbase.h"

namespace w98::internal {
namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<DWORD, std::weak_ptr<ThreadState>> threads;
};

Registry& Threads() {
  static Registry* registry = new Registry;  // outlives every thread-local destructor
  return *registry;
}

// Keeps the calling thread's state; a thread w98 did not start ends its life in w98 when the
// thread itself ends.
struct Holder {
  std::shared_ptr<ThreadState> state;
  ~Holder() {
    if (state && !state->Finished()) state->Finish(0);
  }
};

thread_local Holder t_holder;
thread_local ThreadState* t_current = nullptr;

DWORD HostThreadId() {
  return static_cast<DWORD>(::syscall(SYS_gettid));
}

}  // namespace

Deadline DeadlineAfter(DWORD milliseconds) {
  if (milliseconds == INFINITE) return std::nullopt;
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

void WaitList::WakeAll() const {
  for (ThreadState* thread : threads_) thread->Unpark();
}

ThreadState::ThreadState(DWORD id, bool created_by_w98)
    : id_(id), created_by_w98_(created_by_w98) {}

ThreadState::~ThreadState() = default;

ThreadState& ThreadState::Current() {
  if (t_current == nullptr) {
    auto state = std::make_shared<ThreadState>(HostThreadId(), false);
    {
      Registry& r = Threads();
      std::lock_guard<std::mutex> lock(r.mutex);
      r.threads[state->Id()] = state;
    }
    t_holder.state = state;
    t_current = state.get();
  }
  return *t_current;
}

std::shared_ptr<ThreadState> ThreadState::CurrentShared() {
  return Current().shared_from_this();
}

ThreadState* ThreadState::CurrentIfKnown() {
  return t_current;
}

std::shared_ptr<ThreadState> ThreadState::Find(DWORD id) {
  Registry& r = Threads();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.threads.find(id);
  if (it == r.threads.end()) return nullptr;
  auto state = it->second.lock();
  return state && !state->Finished() ? state : nullptr;
}

void ThreadState::Adopt(std::shared_ptr<ThreadState> state) {
  {
    Registry& r = Threads();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.threads[state->Id()] = state;
  }
  t_current = state.get();
  t_holder.state = std::move(state);
}

void ThreadState::UpdateAttention() {
  attention_.store(suspend_count_ > 0 || terminate_.load(), std::memory_order_release);
}

DWORD ThreadState::Suspend() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (finished_ || terminate_) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0xFFFFFFFF;
  }
  if (suspend_count_ >= MAXIMUM_SUSPEND_COUNT) {
    SetLastError(ERROR_SIGNAL_REFUSED);
    return 0xFFFFFFFF;
  }
  const DWORD previous = suspend_count_++;
  UpdateAttention();
  return previous;
}

DWORD ThreadState::Resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  const DWORD previous = suspend_count_;
  if (suspend_count_ > 0) --suspend_count_;
  UpdateAttention();
  if (suspend_count_ == 0) cv_.notify_all();
  return previous;
}

bool ThreadState::RequestTermination(DWORD exit_code) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (finished_ || terminate_) return true;  // already ending: its exit code stays
  if (!created_by_w98_) {
    // Nothing on a thread that w98 did not start would catch the unwinding.
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  terminate_code_ = exit_code;
  terminate_.store(true, std::memory_order_release);
  UpdateAttention();
  cv_.notify_all();
  return true;
}

void ThreadState::CheckPoint(bool may_terminate) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (terminate_.load()) {
      if (may_terminate && std::uncaught_exceptions() == 0) {
        const DWORD code = terminate_code_;
        lock.unlock();
        throw ThreadTermination{code};
      }
      return;  // a thread that is being stopped is never held suspended
    }
    if (suspend_count_ == 0) return;
    cv_.wait(lock);
  }
}

void ThreadState::ThrowIfTerminated() {
  if (!terminate_.load() || std::uncaught_exceptions() != 0) return;
  DWORD code;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    code = terminate_code_;
  }
  throw ThreadTermination{code};
}

ParkResult ThreadState::Park(const Deadline& deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (terminate_.load()) return ParkResult::kTerminated;
    if (unparked_) {
      unparked_ = false;
      return ParkResult::kWoken;
    }
    if (!deadline) {
      cv_.wait(lock);
    } else if (cv_.wait_until(lock, *deadline) == std::cv_status::timeout) {
      if (terminate_.load()) return ParkResult::kTerminated;
      if (unparked_) {
        unparked_ = false;
        return ParkResult::kWoken;
      }
      return ParkResult::kTimedOut;
    }
  }
}

void ThreadState::Unpark() {
  std::lock_guard<std::mutex> lock(mutex_);
  unparked_ = true;
  cv_.notify_all();
}

void ThreadState::NoteOwned(const std::shared_ptr<Mutex>& mutex) {
  std::lock_guard<std::mutex> lock(mutex_);
  owned_.push_back(mutex);
}

void ThreadState::ForgetOwned(const Mutex* mutex) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = owned_.begin(); it != owned_.end(); ++it) {
    auto held = it->lock();
    if (!held || held.get() == mutex) {
      owned_.erase(it);
      return;
    }
  }
}

void ThreadState::AddExitHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  exit_hooks_.push_back(std::move(hook));
}

void ThreadState::Finish(DWORD exit_code) {
  std::vector<std::function<void()>> hooks;
  std::vector<std::weak_ptr<Mutex>> owned;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hooks.swap(exit_hooks_);
    owned.swap(owned_);
  }
  for (auto& hook : hooks) hook();
  for (auto& weak : owned)
    if (auto mutex = weak.lock()) mutex->Abandon(this);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    exit_code_ = exit_code;
    end_waiters_.WakeAll();
  }
  Registry& r = Threads();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.threads.find(id_);
  if (it != r.threads.end() && it->second.lock().get() == this) r.threads.erase(it);
}

DWORD ThreadState::ExitCode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_ ? exit_code_ : STILL_ACTIVE;
}

bool ThreadState::Finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

DWORD ThreadState::Wait(DWORD milliseconds) {
  return WaitUntil(mutex_, end_waiters_, DeadlineAfter(milliseconds),
                   [this] { return finished_ ? WAIT_OBJECT_0 : kStillWaiting; });
}

DWORD WaitUntil(std::mutex& mutex, WaitList& waiters, const Deadline& deadline,
                const std::function<DWORD()>& poll, std::chrono::milliseconds retry) {
  ThreadState& self = ThreadState::Current();
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      const DWORD result = poll();
      if (result != kStillWaiting) return result;
      if (deadline && std::chrono::steady_clock::now() >= *deadline) return WAIT_TIMEOUT;
      waiters.Add(&self);
    }
    Deadline until = deadline;
    if (retry.count() > 0) {
      const auto next = std::chrono::steady_clock::now() + retry;
      if (!until || next < *until) until = next;
    }
    const ParkResult parked = self.Park(until);
    {
      std::lock_guard<std::mutex> lock(mutex);
      waiters.Remove(&self);
    }
    if (parked == ParkResult::kTerminated) {
      self.ThrowIfTerminated();
      SetLastError(ERROR_OPERATION_ABORTED);
      return WAIT_FAILED;
    }
  }
}

std::shared_ptr<ThreadState> ThreadFromHandle(HANDLE handle) {
  if (handle == GetCurrentThread()) return ThreadState::CurrentShared();
  auto state = LookupHandleAs<ThreadState>(handle);
  if (!state) SetLastError(ERROR_INVALID_HANDLE);
  return state;
}

void EnterCall() {
  ThreadState* self = t_current;
  if (self != nullptr && self->NeedsAttention()) self->CheckPoint(true);
}

void EnterReleaseCall() {
  ThreadState* self = t_current;
  if (self != nullptr && self->NeedsAttention()) self->CheckPoint(false);
}

}  // namespace w98::internal
