// The answer to a sent message, and the sender's wait for it.
//
// While a sender waits it keeps running messages sent to its own thread (so two threads that
// send to each other never deadlock). When the sender is terminated it stops waiting at once if
// its message has not started running; otherwise it waits until the window procedure has
// returned, so that a receiver never works on memory that the sender's unwinding frees.
#ifndef W98_SRC_WINDOW_ANSWER_H
#define W98_SRC_WINDOW_ANSWER_H

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "thread/thread_state.h"
#include "w98/windef.h"

namespace w98::internal {

class Answer {
 public:
  // Records the answer and wakes the sender (any thread, once).
  void Set(LRESULT result, bool delivered, std::string payload = {});

  // Waits for the answer. `cancel` is asked when the sender is terminated: true when the
  // message will never run (the wait ends at once). False on time-out or termination.
  bool Await(const std::function<bool()>& cancel, const Deadline& deadline = std::nullopt);

  LRESULT result() const { return result_; }
  bool delivered() const { return delivered_; }
  std::string& payload() { return payload_; }

 private:
  std::mutex mutex_;
  std::condition_variable done_cv_;
  WaitList waiters_;
  bool done_ = false;
  bool delivered_ = false;
  LRESULT result_ = 0;
  std::string payload_;
};

}  // namespace w98::internal

#endif  // W98_SRC_WINDOW_ANSWER_H
