// Threads parked on an object (a thread's end, a mutex, a process, a reply). The owner of the
// list guards it with its own mutex; WakeAll unparks every registered thread.
#ifndef W98_SRC_THREAD_WAIT_LIST_H
#define W98_SRC_THREAD_WAIT_LIST_H

#include <algorithm>
#include <vector>

namespace w98::internal {

class ThreadState;

class WaitList {
 public:
  void Add(ThreadState* thread) { threads_.push_back(thread); }
  void Remove(ThreadState* thread) {
    auto it = std::find(threads_.begin(), threads_.end(), thread);
    if (it != threads_.end()) threads_.erase(it);
  }
  // Unparks every registered thread (they stay registered until they remove themselves).
  void WakeAll() const;

 private:
  std::vector<ThreadState*> threads_;
};

}  // namespace w98::internal

#endif  // W98_SRC_THREAD_WAIT_LIST_H
