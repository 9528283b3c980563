// Mutex objects: unnamed ones live in one process; a named one is one object for the whole
// machine (see machine_lock.h). Owned by one thread at a time, recursively; a mutex whose
// owner ends without releasing it goes to the next waiter with WAIT_ABANDONED.
#ifndef W98_SRC_THREAD_MUTEX_H
#define W98_SRC_THREAD_MUTEX_H

#include <memory>
#include <mutex>
#include <string>

#include "core/handles.h"
#include "thread/machine_lock.h"
#include "thread/wait_list.h"

namespace w98::internal {

class ThreadState;

class Mutex final : public KernelObject, public std::enable_shared_from_this<Mutex> {
 public:
  // `lock` is null for an unnamed mutex (or when the process has no machine).
  Mutex(std::string key, std::unique_ptr<MachineLock> lock);
  ~Mutex() override;

  // Acquires for the calling thread: WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT, or
  // WAIT_FAILED. Another process's ownership is polled for; everything else wakes waiters.
  DWORD Wait(DWORD milliseconds) override;
  // Releases one level of the calling thread's ownership; false with ERROR_NOT_OWNER when the
  // thread does not own it.
  bool Release();
  // `thread` ended while owning the mutex: the next waiter gets WAIT_ABANDONED.
  void Abandon(ThreadState* thread);
  // Makes the calling thread the owner of a mutex nobody owns (a fresh mutex created owned;
  // the machine-wide lock, if any, is already taken).
  void TakeFresh();

 private:
  DWORD TryTake(ThreadState& self);  // with mutex_ held

  const std::string key_;  // "run folder \0 name" in the process's name table, "" if unnamed
  std::unique_ptr<MachineLock> lock_;
  std::mutex mutex_;
  WaitList waiters_;
  ThreadState* owner_ = nullptr;
  DWORD recursion_ = 0;
  bool abandoned_ = false;  // unnamed mutexes: the last owner ended without releasing
};

// The mutex named `name` on the current machine (the same object for every handle of this
// process), or a new one, owned by the calling thread when `initial_owner` (a new one only);
// *existed as CreateMutexA reports it. nullptr with the last error set on failure.
std::shared_ptr<Mutex> OpenNamedMutex(const std::string& name, bool initial_owner, bool* existed);

}  // namespace w98::internal

#endif  // W98_SRC_THREAD_MUTEX_H
