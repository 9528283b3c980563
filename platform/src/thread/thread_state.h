// The state w98 keeps for every thread that uses it: identity, suspension and termination,
// parking (the one way a w98 call blocks), the end of the thread and its waiters.
//
// Threads created by CreateThread get their state before they start; any other thread (the
// main thread, a toolkit's threads) gets one lazily on its first call that needs it.
#ifndef W98_SRC_THREAD_THREAD_STATE_H
#define W98_SRC_THREAD_THREAD_STATE_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/handles.h"
#include "thread/wait_list.h"
#include "w98/windef.h"

namespace w98::internal {

class Mutex;

// When a blocking wait gives up: nullopt waits for ever.
using Deadline = std::optional<std::chrono::steady_clock::time_point>;
// The deadline `milliseconds` from now (INFINITE: none).
Deadline DeadlineAfter(DWORD milliseconds);

enum class ParkResult { kWoken, kTimedOut, kTerminated };

class ThreadState final : public KernelObject, public std::enable_shared_from_this<ThreadState> {
 public:
  ThreadState(DWORD id, bool created_by_w98);
  ~ThreadState() override;

  // The calling thread's state, created on first use for threads w98 did not start.
  static ThreadState& Current();
  static std::shared_ptr<ThreadState> CurrentShared();
  // The calling thread's state if it has one (never creates).
  static ThreadState* CurrentIfKnown();
  // A live thread of this process by id, or nullptr.
  static std::shared_ptr<ThreadState> Find(DWORD id);
  // Makes `state` the calling thread's state (the start of a thread created by CreateThread).
  static void Adopt(std::shared_ptr<ThreadState> state);

  DWORD Id() const { return id_.load(std::memory_order_acquire); }
  // Sets the host id of a thread created by CreateThread, once it runs.
  void AssignId(DWORD id) { id_.store(id, std::memory_order_release); }
  bool CreatedByW98() const { return created_by_w98_; }

  // ---- Suspension and termination (any thread) ----
  // Previous suspend count, or 0xFFFFFFFF with the last error set.
  DWORD Suspend();
  DWORD Resume();
  // Asks the thread to stop with `exit_code` at its next w98 call (or at once when it is
  // blocked in a w98 wait). False with the last error set when it cannot.
  bool RequestTermination(DWORD exit_code);
  // True once termination was requested.
  bool TerminationRequested() const { return terminate_.load(std::memory_order_acquire); }
  // True while the thread is suspended or being terminated (the slow path of a call's entry).
  bool NeedsAttention() const { return attention_.load(std::memory_order_acquire); }

  // ---- On the thread itself ----
  // A suspension point: waits while the thread is suspended, and, when `may_terminate`,
  // throws ThreadTermination once termination was requested (never while the stack is
  // already unwinding).
  void CheckPoint(bool may_terminate);
  // Throws ThreadTermination when termination was requested and no exception is in flight;
  // otherwise returns (the caller then fails its call).
  void ThrowIfTerminated();
  // Blocks until Unpark(), the deadline, or a termination request. A wake-up that arrived
  // since the last Park() returns at once.
  ParkResult Park(const Deadline& deadline);
  // Wakes the thread from Park() (any thread).
  void Unpark();

  // Mutexes the thread owns; abandoned when it ends.
  void NoteOwned(const std::shared_ptr<Mutex>& mutex);
  void ForgetOwned(const Mutex* mutex);
  // Runs on the thread when it ends (windows, message queue); in registration order.
  void AddExitHook(std::function<void()> hook);

  // Ends the thread's life in w98: runs exit hooks, abandons owned mutexes, records the exit
  // code and wakes its waiters. Called on the thread itself.
  void Finish(DWORD exit_code);
  // STILL_ACTIVE while the thread runs.
  DWORD ExitCode() const;
  bool Finished() const;

  // Waiting on a thread handle: signalled when the thread has ended.
  DWORD Wait(DWORD milliseconds) override;

  int priority() const { return priority_.load(); }
  void set_priority(int priority) { priority_.store(priority); }

 private:
  void UpdateAttention();  // with mutex_ held

  std::atomic<DWORD> id_;
  const bool created_by_w98_;
  std::atomic<bool> attention_{false};  // suspended or terminated: the slow path of CheckPoint
  std::atomic<bool> terminate_{false};
  std::atomic<int> priority_{0};

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  DWORD suspend_count_ = 0;
  DWORD terminate_code_ = 0;
  bool unparked_ = false;
  bool finished_ = false;
  DWORD exit_code_ = 0;
  WaitList end_waiters_;
  std::vector<std::weak_ptr<Mutex>> owned_;
  std::vector<std::function<void()>> exit_hooks_;
};

// The thread a handle names (GetCurrentThread's pseudo-handle included), or nullptr with
// ERROR_INVALID_HANDLE set.
std::shared_ptr<ThreadState> ThreadFromHandle(HANDLE handle);

// Blocks the calling thread until `poll()` (called with `mutex` held) returns something other
// than kStillWaiting, `waiters` being woken in between. The thread registers in `waiters`
// while it sleeps; the object wakes it after changing its state. `retry` bounds each sleep
// (for states that no one signals, such as a lock held by another process). Returns the
// result of `poll`, WAIT_TIMEOUT, or WAIT_FAILED when the thread is being terminated while its
// stack unwinds (otherwise termination throws).
inline constexpr DWORD kStillWaiting = 0xFFFFFFFEu;
DWORD WaitUntil(std::mutex& mutex, WaitList& waiters, const Deadline& deadline,
                const std::function<DWORD()>& poll,
                std::chrono::milliseconds retry = std::chrono::milliseconds::zero());

}  // namespace w98::internal

#endif  // W98_SRC_THREAD_THREAD_STATE_H
